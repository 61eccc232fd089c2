// strivex-instance-chooser: the window strivex-host shows for --instance without a name, in a
// process of its own, because the host never starts Qt (the module's UI thread does).
//   strivex-instance-chooser NAME...        prints the name chosen; exit 1 when closed
//   strivex-instance-chooser --message TEXT  shows TEXT

#include <QApplication>
#include <QStringList>

#include <cstdio>

#include "ui/instance_chooser_dlg.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Strivex"));
  QStringList args = QApplication::arguments().mid(1);
  QString message;
  if (args.size() == 2 && args.front() == QLatin1String("--message")) {
    message = args.back();
    args.clear();
  }
  strivex::ui::InstanceChooserDlg dialog(args, message);
  if (dialog.exec() != QDialog::Accepted) return 1;
  if (!args.isEmpty()) std::printf("%s\n", dialog.chosen().toUtf8().constData());
  return std::fflush(stdout) == 0 ? 0 : 2;
}
