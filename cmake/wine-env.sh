# The Wine environment of every Windows run in this tree, sourced by the
# runner, the test driver and the demo: quiet, without the Mono and Gecko
# add-ons (never installed here), in the prefix that the caller set.
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# wine_own_folders PREFIX: a new prefix links the user's Desktop, Documents
# and other shell folders to $HOME, which is the user's own and which every
# prefix of every clone shares; each becomes a folder inside the prefix, so
# that a test's files neither land in the home folder nor meet another run's.
wine_own_folders() {
  for link in "$1"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done
}
