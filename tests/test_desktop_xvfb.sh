#!/usr/bin/env bash
# The real program under a real X server: type a UPC-A text, take a screenshot of the
# window, and decode the barcode in it with zbarimg; the title the window system shows.
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
program=${1:?usage: test_desktop_xvfb.sh PATH/TO/varimark}

# A fresh copy of the program folder, so its settings file starts empty.
mkdir -p "$work/bin" "$work/home"
cp "$program" "$work/bin/varimark"
cp "$(dirname "$program")/VARIMARK.HLP" "$work/bin/" 2>/dev/null || true

start_xvfb "$work/xvfb.log"

start_varimark "$work/bin/varimark" "$work/home" "$work/app.log"

# Both title properties hold exactly the title, nothing appended.
for property in WM_NAME _NET_WM_NAME; do
    shown=$(xprop -id "$window" "$property" | sed -n 's/^[^=]*= "\(.*\)"$/\1/p')
    [[ "$shown" == "Varimark 1.0" ]] || { echo "$property: shown \"$shown\""; exit 1; }
done
sleep 1
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
# The text field has the focus at start; a fresh start shows UPC-A with an empty text.
xdotool type --delay 50 --window "$window" "03600029145"
sleep 1
import -window "$window" "$work/window.png"
# One pixel per module is below what zbar resolves; every pixel made a 3 x 3 block keeps the
# picture exactly as drawn.
convert "$work/window.png" -scale 300% "$work/window3.png"
decoded=$(zbarimg -q -Supca.enable "$work/window3.png" 2>/dev/null || true)
echo "decoded: $decoded"
if [[ "$decoded" != "UPC-A:036000291452" ]]; then
    echo "expected UPC-A:036000291452"
    cp "$work/window.png" /tmp/varimark_xvfb_failure.png && echo "screenshot: /tmp/varimark_xvfb_failure.png"
    cat "$work/app.log"
    exit 1
fi
# The typed text was stored under the type index at once.
grep -q "^2=03600029145" "$work/bin/varimark.INI" || { echo "text not in varimark.INI"; cat "$work/bin/varimark.INI"; exit 1; }
echo "1 passed, 0 failed"
