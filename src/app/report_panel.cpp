// The report box, the status label and the locking of controls during a test.

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextBlock>
#include <QTextDocument>

#include "app/frmBaudTest.h"

namespace {

// The label has room for one line; statuses such as " >>Baud set to 8192" end in the report's
// line breaks, which would push the text half out of sight.
QString OneLine(const std::string& status) {
  return QString::fromStdString(status)
      .split(QRegularExpression("[\\r\\n]+"), Qt::SkipEmptyParts)
      .join(' ');
}

}  // namespace

void frmBaudTest::ReportStatus(const std::string& message, const std::string& status, bool clear) {
  if (clear) {
    lblStatMon->setText("");
    txtStatus->setPlainText("");
  } else {
    // At the end of the text, wherever the user has put the caret. The test's lines are a
    // record: the user may type into the box, but undo stops short of them.
    txtStatus->setUndoRedoEnabled(false);
    QTextCursor end(txtStatus->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromStdString(message));
    txtStatus->setUndoRedoEnabled(true);
    txtStatus->verticalScrollBar()->setValue(txtStatus->verticalScrollBar()->maximum());
    if (!status.empty()) lblStatMon->setText(OneLine(status));
  }
  // The test holds this thread: show the step now, not at the next paint.
  txtStatus->viewport()->repaint();
  lblStatMon->repaint();
}

void frmBaudTest::AppendDiagnosis(const std::string& text) {
  // In the report's own line breaks; the box wraps each cause and fix to its width.
  ReportStatus(QString::fromStdString("\n" + text).replace("\n", "\r\n").toStdString(), "", false);
  // A diagnosis longer than the box is read from its heading, not from its last line.
  QTextDocument* report = txtStatus->document();
  const QTextCursor found = report->find(QRegularExpression("^Diagnosis$"),
                                         report->characterCount(), QTextDocument::FindBackward);
  txtStatus->setTextCursor(QTextCursor(found.block()));
}

void frmBaudTest::EnableStart(bool enable) { cmdStart->setEnabled(enable); }

void frmBaudTest::SetTestBusy(bool busy) {
  const bool enable = !busy;
  cmdStart->setEnabled(enable);
  cmdExit->setEnabled(enable);
  cmdSendChars->setEnabled(enable);
  chkDtrPwr->setEnabled(enable);
  chkRtsPwr->setEnabled(enable);
  optTestSetup[0]->setEnabled(enable);
  optTestSetup[1]->setEnabled(enable);
  optTestSetup[2]->setEnabled(enable);
  mnuExit->setEnabled(enable);
  mnuSaveReport->setEnabled(enable);
  xmnuSetup->menuAction()->setEnabled(enable);
  xmnuMode->menuAction()->setEnabled(enable);
  xmnuHelp->menuAction()->setEnabled(enable);
}
