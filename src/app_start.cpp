#include "app_start.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

namespace {

QString translations_path()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

} // namespace

bool prepare_application(QCoreApplication &application)
{
    // The environment's QT_LOGGING_RULES still takes precedence over this.
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*.debug=false"));

    auto *qt_texts = new QTranslator(&application);
    if (qt_texts->load(QStringLiteral("qt_zh_CN"), translations_path()))
        return application.installTranslator(qt_texts);
    delete qt_texts;
    return false;
}
