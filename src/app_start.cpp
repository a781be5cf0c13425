#include "app_start.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

void prepare_application(QCoreApplication &application)
{
    // The environment's QT_LOGGING_RULES still takes precedence over this.
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*.debug=false"));

    auto *qt_texts = new QTranslator(&application);
    if (qt_texts->load(QStringLiteral("qt_zh_CN"),
                       QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        application.installTranslator(qt_texts);
    else
        delete qt_texts;
}
