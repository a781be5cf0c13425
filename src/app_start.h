#ifndef APP_START_H
#define APP_START_H

class QCoreApplication;

// What the program entry sets up before the first window: the debug lines
// (every received chunk in hex, and more) stay off unless QT_LOGGING_RULES
// asks for them, e.g. "vantrel.*.debug=true"; Qt's own texts (dialog
// buttons, file dialogs) are in Chinese, like the rest of the interface,
// when Qt's translation is installed. Returns whether it was.
bool prepare_application(QCoreApplication &application);

#endif // APP_START_H
