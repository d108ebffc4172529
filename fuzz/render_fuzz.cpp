// Any bytes that the drawing engine accepts as a drawing turn into a scene
// and a picture without a crash, a hang or unbounded memory.
//
//   ASAN_OPTIONS=detect_leaks=0 build-fuzz/fuzz/render_fuzz -max_len=65536 CORPUS tests/corpus/more
//
// (Leak detection off: the font library keeps its caches to the end of the
// process, which the leak checker reports.)

#include "ddvue/dxf/Document.h"
#include "ddvue/render/DrawingScene.h"

#include <QGuiApplication>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ddvue::dxf::Document doc;
    if (!doc.load(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    ddvue::render::DrawingScene scene;
    scene.attach(doc, QString(), QString());
    ddvue::render::renderScene(scene.scene(), QSize(64, 48));
    scene.detach();
    return 0;
}
