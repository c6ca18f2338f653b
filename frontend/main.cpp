// sonvola: the desktop front end.
#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "frontend/qt/backgrounds.h"
#include "frontend/qt/consolewindow.h"
#include "frontend/qt/language.h"
#include "frontend/qt/maindialog.h"
#include "frontend/qt/mediadevice.h"
#include "frontend/qt/plotwindow.h"
#include "frontend/qt/singleinstance.h"
#include "sonvola/version.h"

namespace {

const char* kUsage =
    "usage: sonvola [RECORDING]\n"
    "Opens the window of Sonvola: the parameters, the four stages one button at a\n"
    "time, playback and plots. RECORDING (an audio file, or a MIDI file) is opened\n"
    "at once when given.\n"
    "  --help     this text\n"
    "  --version  the program's name and version\n"
    "Environment: SONVOLA_LANG (ja or en), SONVOLA_WORKDIR, SONVOLA_SOUNDFONT.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("sonvola %s\n", SONVOLA_VERSION);
        return 0;
    }
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
    sonvola::MainDialog dialog(device, starter, hooks, sonvola::getStageDir(), workDir);
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
    // A file named on the command line (a file manager's "open with") is opened
    // at once, by its whole path: the stages and the plots need not share this
    // working folder.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) dialog.openPath(QFileInfo(args.at(1)).absoluteFilePath());
    return sonvola::runMainWindow(dialog);
}
