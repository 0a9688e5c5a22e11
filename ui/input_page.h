// The Input page: the list of input files, read back to back as one stream,
// and the two operations that open and close that stream.
#pragma once

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <memory>

class ConverterApp;
class QFileDialog;

class InputPage : public QWidget {
  Q_OBJECT

 public:
  explicit InputPage(ConverterApp& app);
  ~InputPage() override;

  // Opens the listed files as one stream (called when the user leaves this
  // page). An empty list does nothing; more than 16 entries or a failed open
  // are reported in a message box owned by the main window. On success the
  // Processing page is filled and the Output page reset. Returns 0 when a
  // stream was opened, 1 otherwise.
  int ProbeInputFiles();

  // Closes an open stream (greying out the Processing and Output pages) and
  // empties the input table in every case.
  void CloseInputStream();

 protected:
  // Files dropped from a file manager anywhere on the page (the list
  // included) are added as if chosen with Add..., in the dropped order.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void OnAdd();
  // Appends `paths` to the list and remembers the folder of the last one,
  // where Add... opens in later runs.
  void AddFiles(const QStringList& paths);
  void OnRemove();
  void OnRemoveAll();

  ConverterApp& app_;
  // Controls in their tab order.
  QGroupBox files_group_{this};
  QListWidget file_list_{this};
  QPushButton add_{this};
  QPushButton remove_{this};
  QPushButton remove_all_{this};
  // Made at the first Add... (opening in the folder remembered from earlier
  // runs) and kept, so that it reopens at the last choice.
  std::unique_ptr<QFileDialog> file_dialog_;
};
