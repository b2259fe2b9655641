// Small widgets of the main window.
#pragma once

#include <QFrame>
#include <QListWidget>

#include <functional>
#include <string>

namespace quenrix {

// A panel that tells its owner when its size changes, so that the owner
// can place the buttons it holds.
class ResizePanel : public QFrame {
    Q_OBJECT

  public:
    using QFrame::QFrame;
    std::function<void(QWidget*)> onResize;

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

// The folder list: the current folder's ancestors, the folder itself and
// its subfolders. Choosing one (double click or Enter, as in every file
// dialog) makes it the current working directory; Backspace goes up one.
// The list keeps those keys for itself: Enter here never converts.
class FolderListBox : public QListWidget {
    Q_OBJECT

  public:
    explicit FolderListBox(QWidget* parent = nullptr);

    // Shows `folder` and makes it the current working directory; false
    // when it cannot be entered (the list stays as it was).
    bool SetDirectory(const std::string& folder);
    const std::string& Directory() const { return directory_; }

  signals:
    void directoryChanged();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Enter(const QString& folder);

    std::string directory_;
};

}  // namespace quenrix
