#pragma once
// Gives a control of the zoom editor's forms its name, by which tests and the
// forms' own code find it, and hands the control back.

#include <QLatin1String>
#include <QObject>

namespace zoom {

template <typename W>
W* named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

}  // namespace zoom
