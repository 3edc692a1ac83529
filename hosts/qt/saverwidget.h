// The saver window: black, borderless, full screen, no cursor. Each paint
// asks the program for a frame and shows it.
#pragma once

#include <QSize>
#include <QWidget>

class QImage;
class QPainter;
class WindowPresenter;

class SaverWidget : public QWidget {
public:
  explicit SaverWidget(WindowPresenter *presenter);

protected:
  void paintEvent(QPaintEvent *) override;
  void closeEvent(QCloseEvent *event) override;

private:
  // A frame at its own size is converted straight into the backing store
  // (no image of its own to copy from); false when that cannot be done.
  bool paintIntoStore(QPainter &painter, const QRect &scene);

  WindowPresenter *presenter_;
  bool blanked_ = false;
  const uchar *shownInStore_ = nullptr; // the backing store the last frame went into
  QSize shownStoreSize_;
};
