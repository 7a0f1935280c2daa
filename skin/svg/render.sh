#!/bin/sh
# Renders the skin's SVG sources to the PNG names the layouts and the code use.
set -e
cd "$(dirname "$0")"
out=..
mkdir -p "$out/common" "$out/power" "$out/caption" "$out/Control" "$out/main"
rsvg-convert -w 64 -h 64 logo.svg -o "$out/common/logo.png"
rsvg-convert -w 640 -h 400 mouse.svg -o "$out/common/no_device.png"
rsvg-convert -w 640 -h 400 mouse.svg -o "$out/power/r260.png"
rsvg-convert -w 440 -h 660 mouse_top.svg -o "$out/main/mouse_top.png"
rsvg-convert -w 440 -h 660 mouse_top.svg -o "$out/main/mouse.png"
for i in close close_hot min max restore settings skin prev next cable receiver; do
  rsvg-convert -w 48 -h 48 "$i.svg" -o "$out/caption/$i.png"
done
for i in WIFI_normal WIFI_down power powering light Phone_type_iphone Phone_type_samsung \
    Phone_type_other Phone_type_no_device; do
  rsvg-convert -w 48 -h 48 "$i.svg" -o "$out/power/$i.png"
done
for i in SliderBar1_Thumb SliderBar2_Thumb check_on check_off check_disabled; do
  rsvg-convert -w 36 -h 36 "$i.svg" -o "$out/Control/$i.png"
done
for i in combo_arrow combo_arrow_disabled; do
  rsvg-convert -w 24 -h 24 "$i.svg" -o "$out/Control/$i.png"
done
mkdir -p "$out/common/device_ico"
for f in device_ico/*.svg; do
  n=$(basename "$f" .svg)
  rsvg-convert -w 72 -h 72 "$f" -o "$out/common/device_ico/$n.png"
done
