#pragma once
// The render command: a drawing, zoomed to its extents, as a picture.
//   tessilux render DRAWING -o OUT.png|OUT.bmp|OUT.svg|OUT.pdf [--size WIDTHxHEIGHT] [--layout NAME]

namespace app {

// Adds "render" to the command line. The command paints with Qt's GUI
// library, so the program must run it under a QGuiApplication.
void registerRenderCommand();

}  // namespace app
