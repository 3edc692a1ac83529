// A saver window: black, borderless, full screen, no cursor. The scene's
// window asks the program for a frame at each paint and shows it; on the
// other screens a window shows the scene's last frame, fitted, or stays black.
#pragma once

#include <QSize>
#include <QWidget>

class QImage;
class QPainter;
class WindowPresenter;

class SaverWidget : public QWidget {
public:
  enum class Shows { Scene, SamePicture, Black };
  explicit SaverWidget(WindowPresenter *presenter, Shows shows = Shows::Scene);

protected:
  void paintEvent(QPaintEvent *) override;
  void closeEvent(QCloseEvent *event) override;

private:
  // A frame at its own size is converted straight into the backing store
  // (no image of its own to copy from); false when that cannot be done.
  bool paintIntoStore(QPainter &painter);

  WindowPresenter *presenter_;
  Shows shows_;
  bool blanked_ = false;
  const uchar *shownInStore_ = nullptr; // the backing store the last frame went into
  QSize shownStoreSize_;
};
