#pragma once
// The desktop side of the application state's requests: windows created on first use and kept,
// modal save dialogs, the clipboard and the file manager. Main thread only.

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>

#include "app/AppModel.h"
#include "app/AppShell.h"

namespace tapwell::ui {

class QtShell final : public AppShell {
  public:
    // Builds a window's widget (a top-level window) for the model.
    using WindowFactory = std::function<QWidget*(AppModel& model)>;
    // Draws the recap card as PNG bytes.
    using RecapRenderer = std::function<std::optional<std::string>(const RecapContent&)>;
    // The application chooser; the ids chosen, empty when cancelled.
    using AppChooser = std::function<std::vector<std::string>(AppModel& model, QWidget* parent)>;

    QtShell() = default;
    ~QtShell() override;

    // The model the windows are built for; call once, before the event loop runs.
    void attach(AppModel& model) { model_ = &model; }
    void setWindowFactory(Window window, WindowFactory factory);
    void setRecapRenderer(RecapRenderer renderer) { recapRenderer_ = std::move(renderer); }
    void setAppChooser(AppChooser chooser) { appChooser_ = std::move(chooser); }

    // The window, when it has been created.
    QWidget* window(Window window) const;

    bool hasWindows() const override { return true; }
    void showWindow(Window window) override;
    std::optional<std::filesystem::path> askSavePath(const SaveRequest& request) override;
    std::vector<std::string> askApplications() override;
    std::optional<std::string> renderRecapPng(const RecapContent& content) override;
    bool copyPng(const std::string& png) override;
    void openFolder(const std::filesystem::path& folder) override;
    void quit() override;

  private:
    // The window that dialogs belong to: the active one, if it is ours.
    QWidget* dialogParent() const;

    AppModel* model_ = nullptr;
    std::map<Window, WindowFactory> factories_;
    std::map<Window, QPointer<QWidget>> windows_;
    RecapRenderer recapRenderer_;
    AppChooser appChooser_;
};

}  // namespace tapwell::ui
