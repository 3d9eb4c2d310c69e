# The Wine environment of every Windows run in this tree, sourced by the
# runner, the test driver and the demo: quiet, without the Mono and Gecko
# add-ons (never installed here), in the prefix that the caller set.
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

