// The control panel's window: a Qt dialog drawn from the form's controls.
// The form (controlpanel/mainform.h) holds every control's state and runs the
// handlers; this window only shows that state and passes the user's actions
// on. Each widget's object name is its control's name.
#pragma once

#include <QDialog>
#include <QImage>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controlpanel/mainform.h"

class QTabWidget;

class ControlPanelDialog : public QDialog {
public:
  // tela: the window handle the program uses for the preview panel.
  explicit ControlPanelDialog(WindowHandle tela);
  ~ControlPanelDialog() override;

  MainForm &form() { return *form_; }
  // Runs the form's open sequence, then shows the dialog centred on the screen.
  void openForm();
  // Closes as the close button does (saving), unless already closed.
  void closeForm();

  // The preview panel and what it shows.
  QWidget *tela() const { return tela_; }
  void showFrame(const QImage &frame);

  QWidget *widget(const std::string &name) const;

protected:
  void closeEvent(QCloseEvent *event) override;
  void reject() override; // Escape closes (and saves) like the close button

private:
  void build();
  // Asks the user for a disc image: its full path, or empty when cancelled.
  std::string chooseDiscImage(const std::string &current);
  void sync();

  std::unique_ptr<MainForm> form_;
  std::vector<std::pair<const Control *, QWidget *>> widgets_; // each control's widget
  QTabWidget *pages_ = nullptr;
  QWidget *tela_ = nullptr;
  bool syncing_ = false;
};
