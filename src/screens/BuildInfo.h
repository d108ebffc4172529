#pragma once
// What the build says about the program: its version and where its users
// reach the project. The addresses are build options (see CMakeLists.txt),
// so that whoever builds and hands out the program puts its own there.

#include <QString>

namespace screens {

// major.minor.revision, as the build was told.
QString programVersion();
// The support address for e-mail, without "mailto:".
QString supportEmail();
// The project's web site and the page its downloads are on.
QString webSite();
QString downloadPage();

}  // namespace screens
