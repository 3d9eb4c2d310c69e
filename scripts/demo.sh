#!/bin/sh
# The main job on the bundled sample: assembles build/demo/app_setup.exe from
# the sample installer and payload, runs it under Wine (headless, or under
# Xvfb with GUI=1) and reports what the run left behind.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/build/demo"
fmix="$root/build/native/bin/fmix"
bin="$root/build/win32/bin"
WINEPREFIX="$demo/wineprefix"
. "$root/cmake/wine-env.sh"
unset DISPLAY

rm -rf "$demo/payload" "$demo/app_setup.exe"
mkdir -p "$demo/payload/app"
cp -r "$root/samples/payload/." "$demo/payload/"
cp "$bin/sample_installer.exe" "$demo/payload/app/setup.exe"
"$fmix" setup -o "$demo/app_setup.exe" --stub "$bin/launcher.exe" --plugin "$bin/yz1.dll" \
  --payload "$demo/payload" --run 'app\setup.exe'

[ -f "$WINEPREFIX/system.reg" ] || echo "creating the Wine prefix (once)..."
python3 "$root/tests/e2e/wine_session.py" --base "$root/build/win32/wineprefix-base" "$WINEPREFIX"
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
before=$(ls "$temp" 2>/dev/null | grep -c '^vlk' || true)
wineserver -w  # so that Wine's services start anew with the run's display

echo "== running build/demo/app_setup.exe under Wine"
if [ "${GUI:-0}" = 1 ]; then
  Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  sleep 1
  DISPLAY=:77 wine "$demo/app_setup.exe" & launcher=$!
  for i in 1 2 3 4 5 6 7 8 9 10; do
    box=$(DISPLAY=:77 xdotool search --name 'ERROR|DEBUG|Yz1' 2>/dev/null | head -n 1 || true)
    if [ -n "$box" ]; then
      import -display :77 -window root "$demo/box.png"
      echo "a box appeared; screenshot: build/demo/box.png"
      DISPLAY=:77 xdotool key --window "$box" Return
    fi
    kill -0 "$launcher" 2>/dev/null || break
    sleep 1
  done
  wait "$launcher" && code=0 || code=$?
  kill "$xvfb"
else
  wine "$demo/app_setup.exe" && code=0 || code=$?
fi
timeout 120 wineserver -w

pack=$(ls -t "$temp"/vlk*.tmp | head -n 1)
echo "exit code:           $code"
echo "setup executable:    build/demo/app_setup.exe ($(stat -c %s "$demo/app_setup.exe") bytes, stub $(stat -c %s "$bin/launcher.exe"))"
echo "staged pack file:    $pack ($(stat -c %s "$pack") bytes; $(($(ls "$temp" | grep -c '^vlk.*tmp$') - before)) new)"
echo "unpack folder:       ${pack}_dir"
(cd "${pack}_dir" && find . -type f | sort | sed 's/^/    /')
echo "installer receipt:"
sed 's/^/    /' "${pack}_dir/app/receipt.txt" 2>/dev/null | tr -d '\r' || echo "    (none: the installer did not run)"
echo "compatibility mark:"
wine reg query 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Compatibility Assistant\Persisted' 2>/dev/null \
  | tr -d '\r' | grep -i app_setup | sed 's/^ */    /' || echo "    (none)"
