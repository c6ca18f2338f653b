// sonvola-console: one console window running one program, started by the
// front end for each stage so that the stage runs on its own.
#include <QApplication>
#include <QFont>
#include <cstdio>

#include "frontend/qt/backgrounds.h"
#include "frontend/qt/consolesession.h"
#include "frontend/qt/language.h"
#include "sonvola/version.h"

int main(int argc, char** argv) {
    // The options are read before Qt sees them: every word from PROGRAM on
    // belongs to the program.
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    sonvola::ConsoleOptions options;
    QString error;
    if (!sonvola::parseConsoleOptions(words, options, error)) {
        std::fprintf(stderr, "sonvola-console: %s\n%s", qPrintable(error),
                     qPrintable(sonvola::consoleUsage()));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(sonvola::consoleUsage()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("sonvola-console %s\n", SONVOLA_VERSION);
        return 0;
    }

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("sonvola-console"));
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
    font.setPointSize(9);
    QApplication::setFont(font);
    QApplication::setWindowIcon(sonvola::sonvolaIcon());
    sonvola::installUiLanguageFromEnvironment();

    sonvola::ConsoleSession session(options);
    QObject::connect(&session, &sonvola::ConsoleSession::windowClosed, &app,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    session.start();
    return app.exec();
}
