#pragma once
// File names as the system gives them: bytes, usually but not always UTF-8.
// Inside the program a name is a QString; a name whose bytes are not valid
// UTF-8 keeps each stray byte as a lone low surrogate (U+DC80 to U+DCFF), so
// that it converts back to the very same bytes and the file can be opened.
// Qt's own conversion would turn such bytes into U+FFFD for good.

#include <QString>

#include <string>
#include <string_view>

namespace ddvue {

QString decodeFileName(std::string_view bytes);
std::string encodeFileName(const QString& name);

// True when `name` holds a byte that is not valid UTF-8 (it then cannot be
// given to Qt's file classes, only to the system's own calls).
bool hasStrayBytes(const QString& name);
// The name for the screen: each stray byte shown as U+FFFD, the character
// for what cannot be shown.
QString displayFileName(const QString& name);

// True for a drawing file's extension, without the period, in any letter
// case: "dwg", "dxf", or "dxfb" (binary DXF).
bool isDrawingSuffix(const QString& suffix);

}  // namespace ddvue
