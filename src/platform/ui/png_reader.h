// The program's reader for PNG files: Qt's own, reached without loading every image plugin.
//
// For a file named *.png, Qt first asks each installed image plugin (GIF, ICO, JPEG, SVG, ...)
// whether it reads "png", which loads them all and their libraries before the first picture
// shows. This plugin claims the files that start with PNG's signature and hands them to Qt's
// built-in PNG handler, so the pixels, sizes and options are Qt's; anything else (a file named
// .png that is not one) is left to Qt's usual search.
#pragma once

namespace velqa::platform::ui {

// Registers the reader; once, before the first picture is read. Later calls do nothing.
void register_png_reader();

}  // namespace velqa::platform::ui
