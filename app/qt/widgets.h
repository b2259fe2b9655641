// Small widgets of the main window.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QListWidget>

#include <functional>
#include <string>

namespace quenrix {

// A label that shows as much of its text as fits, with "..." where it is
// cut, and the whole text in its tooltip.
class ElidedLabel : public QLabel {
    Q_OBJECT

  public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void SetWholeText(const QString& text);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Fit();
    QString whole_;
};

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
    // Each line's place in the tree (0 for the root), which the list
    // draws as indentation; a line's text is the folder's name alone, so
    // that a screen reader says the name and typing it finds the line.
    static constexpr int kDepthRole = Qt::UserRole + 1;

    explicit FolderListBox(QWidget* parent = nullptr);

    // Shows `folder` and makes it the current working directory: 0, or
    // why it cannot be entered or listed (the list then stays as it was).
    int SetDirectory(const std::string& folder);
    const std::string& Directory() const { return directory_; }

  signals:
    void directoryChanged();
    // A folder chosen in the list could not be entered; the list shows the
    // folder the window is still in.
    void directoryRefused(const QString& folder, int cause);

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Enter(const QString& folder);

    std::string directory_;
};

}  // namespace quenrix
