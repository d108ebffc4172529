#include "screens/BuildInfo.h"

namespace screens {

QString programVersion() { return QStringLiteral(TESSILUX_VERSION); }
QString supportEmail() { return QStringLiteral(TESSILUX_SUPPORT_EMAIL); }
QString webSite() { return QStringLiteral(TESSILUX_WEB_SITE); }
QString downloadPage() { return QStringLiteral(TESSILUX_DOWNLOAD_PAGE); }

}  // namespace screens
