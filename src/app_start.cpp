#include "app_start.h"

#include <QCoreApplication>
#include <QLoggingCategory>

void prepare_application(QCoreApplication &)
{
    // The environment's QT_LOGGING_RULES still takes precedence over this.
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*.debug=false"));
}
