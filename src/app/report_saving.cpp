// The report box's context menu and Save Report As: the report as a text file the user keeps.

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <memory>

#include "app/frmBaudTest.h"
#include "common/number_text.h"
#include "msgbox/MMsgBoxPos.h"
#include "serial/port_map.h"
#include "version.h"

namespace {

constexpr const char* kSaveTitle = "Save Report As";

// Where the report came from, for whoever reads the file later: when, which port and which cable.
QString ReportHead(const QDateTime& now, int comPort, PortMap& ports) {
  const std::string port =
      comPort == 0 ? "none selected" : "COM" + NumberText(comPort) + ", " + ports.Device(comPort);
  const std::string adaptor = comPort == 0 ? "none" : DescribeIdentity(ports.Identity(comPort));
  return QString("%1 report\nDate:    %2\nPort:    %3\nAdaptor: %4\n\n")
      .arg(kApplicationTitle, now.toString("yyyy-MM-dd HH:mm:ss"), QString::fromStdString(port),
           QString::fromStdString(adaptor));
}

// Every byte, or false with the system's reason in the file's error: a write cut short is
// tried again for the rest, which then fails with why (a full disk), where the short write said
// nothing.
bool WriteAll(QSaveFile& file, const QByteArray& bytes) {
  for (qint64 done = 0; done < bytes.size();) {
    const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
    if (written <= 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

void frmBaudTest::ShowReportMenu(const QPoint& at) {
  const std::unique_ptr<QMenu> menu(txtStatus->createStandardContextMenu(at));
  menu->addSeparator();
  menu->addAction(mnuSaveReport);
  menu->exec(txtStatus->viewport()->mapToGlobal(at));
}

void frmBaudTest::mnuSaveReport_Click() {
  const QDateTime now = QDateTime::currentDateTime();
  const QString suggested =
      QDir::home().filePath("aldl-report-" + now.toString("yyyy-MM-dd-HHmm") + ".txt");
  const QString path = QFileDialog::getSaveFileName(this, kSaveTitle, suggested,
                                                    "Text files (*.txt);;All files (*)");
  if (path.isEmpty()) return;

  // With the line breaks the box shows, as Windows' own editors expect them.
  QString text = ReportHead(now, Port().state.CurrentPort, ports_);
  text.append(txtStatus->toPlainText()).replace("\n", "\r\n");
  // Written whole or not at all: a file the user already had is not left half replaced. The
  // bytes are flushed and checked before the commit, which reports success after a write that
  // did not land (Qt 6.4), and would then put an empty file in the place of the old one.
  QSaveFile file(path);
  const QByteArray bytes = text.toUtf8();
  if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && WriteAll(file, bytes) && file.flush() &&
      file.commit()) {
    return;
  }
  const QString reason = file.errorString();
  file.cancelWriting();
  QString title = kSaveTitle;
  ShowMsgBox("The report was not saved to " + QDir::toNativeSeparators(path) + ":\r\n" + reason +
                 "\r\n\r\nThe report is still in the window; choose another place.",
             kMsgBoxExclamation, title, this);
}
