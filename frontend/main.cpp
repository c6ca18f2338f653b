// sonvola: the desktop front end.
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTimer>
#include <clocale>
#include <cstdlib>

#include "common/console.h"
#include "frontend/qt/backgrounds.h"
#include "frontend/qt/consolewindow.h"
#include "frontend/qt/language.h"
#include "frontend/qt/maindialog.h"
#include "frontend/qt/mediadevice.h"
#include "frontend/qt/plotwindow.h"
#include "frontend/qt/singleinstance.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; numbers are read and
    // written with a point whatever it is.
    std::setlocale(LC_NUMERIC, "C");
    sonvola::installUiLanguageFromEnvironment();
    QApplication::setApplicationName(QStringLiteral("sonvola"));
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
    font.setPointSize(8);
    QApplication::setFont(font);

    sonvola::SingleInstance instance;
    if (instance.askRunningInstance()) return 0;

    // One work directory for the window, its plots and every stage it starts.
    const std::string workDir = sonvola::getWorkDir();
    setenv("SONVOLA_WORKDIR", workDir.c_str(), 1);

    sonvola::PcmMediaDevice device;
    sonvola::ConsoleStarter starter;
    sonvola::DialogHooks hooks = sonvola::defaultDialogHooks();
    // Windows of their own beside the main window; neither blocks the other.
    hooks.openPlot = [workDir](QWidget* owner, int which) {
        sonvola::PlotWindow::open(
            which == 1 ? sonvola::PlotKind::Peaks : sonvola::PlotKind::LinkedPeaks, workDir,
            sonvola::defaultPlotHooks(), owner);
    };
    hooks.openNotes = [workDir](QWidget* owner, const std::string& score) {
        sonvola::NotesWindow::open(score, workDir, sonvola::defaultPlotHooks(), owner);
    };
    sonvola::MainDialog dialog(device, starter, hooks, sonvola::getProgramDir(), workDir);
    QObject::connect(&instance, &sonvola::SingleInstance::raiseRequested, &dialog,
                     &sonvola::MainDialog::raiseWindow);
    if (!device.hasAudioOutput()) {
        // Said once, without blocking: a recording still opens and "plays"
        // on a silent clock.
        QTimer::singleShot(0, &dialog, [&dialog] {
            auto* box = new QMessageBox(
                QMessageBox::Information, QStringLiteral("Sonvola"),
                QCoreApplication::translate(
                    "sonvola", "音声の出力先が見つかりません。再生は音なしで進みます。"),
                QMessageBox::Ok, &dialog);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        });
    }
    QApplication::setWindowIcon(sonvola::sonvolaIcon());
    // A file named on the command line (a file manager's "open with") is opened at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) dialog.openPath(args.at(1));
    return sonvola::runMainWindow(dialog);
}
