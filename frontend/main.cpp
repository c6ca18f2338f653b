// sonvola: the desktop front end.
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTimer>
#include <clocale>
#include <cstdlib>

#include "common/console.h"
#include "frontend/qt/consolewindow.h"
#include "frontend/qt/maindialog.h"
#include "frontend/qt/mediadevice.h"
#include "frontend/qt/plotwindow.h"
#include "frontend/qt/singleinstance.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; numbers are read and
    // written with a point whatever it is.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("sonvola"));
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
    font.setPointSize(9);
    QApplication::setFont(font);

    sonvola::SingleInstance instance;
    if (instance.askRunningInstance()) return 0;

    // One work directory for the window, its plots and every stage it starts.
    const std::string workDir = sonvola::getWorkDir();
    setenv("SONVOLA_WORKDIR", workDir.c_str(), 1);

    sonvola::PcmMediaDevice device;
    sonvola::ConsoleStarter starter;
    sonvola::DialogHooks hooks = sonvola::defaultDialogHooks();
    hooks.openPlot = [workDir](QWidget*, int which) {
        sonvola::PlotWindow plot(which == 1 ? sonvola::PlotKind::Peaks : sonvola::PlotKind::LinkedPeaks,
                                 workDir, sonvola::defaultPlotHooks(), nullptr);
        plot.exec();
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
                QStringLiteral("音声の出力先が見つかりません。再生は音なしで進みます。"),
                QMessageBox::Ok, &dialog);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        });
    }
    dialog.exec();
    return 0;
}
