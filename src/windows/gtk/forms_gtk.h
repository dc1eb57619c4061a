#pragma once
// The program's windows on the GTK desktop, built from their GtkBuilder
// layouts (compiled into the program) with the handlers bound by name.

#include <gtk/gtk.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <optional>

#include "platform/file.h"
#include "platform/gtk/gobject_ref.h"
#include "platform/gtk/timer.h"
#include "windows/forms.h"
#include "windows/gtk/webkit.h"

namespace pagimor::gtk {

// A progress bar whose range and position live in a GtkAdjustment of the
// layout; the bar shows the position's share of the range.
class AdjustmentProgressBar final : public ProgressBar {
 public:
  AdjustmentProgressBar(GtkProgressBar* bar, GtkAdjustment* range);
  void SetMin(int value) override;
  void SetMax(int value) override;
  void SetPosition(int value) override;
  [[nodiscard]] int Min() const override;
  [[nodiscard]] int Max() const override;
  [[nodiscard]] int Position() const override;
  [[nodiscard]] GtkProgressBar* widget() const { return bar_.get(); }

 private:
  void Redraw();
  GObjectRef<GtkProgressBar> bar_;
  GObjectRef<GtkAdjustment> range_;
};

class GtkLabelText final : public Label {
 public:
  explicit GtkLabelText(GtkLabel* label) : label_(GObjectRef<GtkLabel>::Share(label)) {}
  void SetCaption(std::string_view text) override;
  [[nodiscard]] std::string Caption() const override;
  [[nodiscard]] bool Visible() const override;
  [[nodiscard]] GtkLabel* widget() const { return label_.get(); }

 private:
  GObjectRef<GtkLabel> label_;
};

class GtkWebBrowser final : public WebView {
 public:
  // The engine's functions must outlive the browser.
  GtkWebBrowser(WebKitWebView* view, const WebKitApi& webkit);
  void Navigate(std::u16string_view address) override;
  [[nodiscard]] std::u16string LocationURL() const override;
  // One zoom step larger or smaller, or the normal size for 0.
  void Zoom(int direction);
  // To the page before, when there is one.
  void GoBack();
  [[nodiscard]] WebKitWebView* widget() const { return view_.get(); }

 private:
  GObjectRef<WebKitWebView> view_;
  const WebKitApi& webkit_;
  // The folder of the page shown, open while it is shown, when its path
  // cannot go into a file:// address as it is.
  fs::detail::OwnedHandle pageFolder_;
};

// Owns a toplevel window built from a layout; destroys it when it goes.
class BuiltWindow {
 public:
  // types: those of the layout's objects that the toolkit does not know by
  // itself, made known before the layout is read.
  explicit BuiltWindow(const char* resource, std::initializer_list<GType> types = {});
  BuiltWindow(const BuiltWindow&) = delete;
  BuiltWindow& operator=(const BuiltWindow&) = delete;
  ~BuiltWindow();

  template <typename T>
  [[nodiscard]] T* Get(const char* id) const {
    return reinterpret_cast<T*>(gtk_builder_get_object(builder_.get(), id));
  }
  [[nodiscard]] GtkBuilder* builder() const { return builder_.get(); }

 private:
  GObjectRef<GtkBuilder> builder_;
};

class GtkForm2 final : public TForm2 {
 public:
  explicit GtkForm2(Application& app);
  ~GtkForm2() override;

  void Show() override;
  void Hide() override;
  [[nodiscard]] bool Visible() const override;
  void Close() override;
  [[nodiscard]] ProgressBar& ProgBar1() override { return progress_; }
  [[nodiscard]] Label& lblStatus() override { return status_; }
  [[nodiscard]] Label& lblVersion() override { return version_; }

  [[nodiscard]] GtkWindow* window() const { return window_.get(); }
  [[nodiscard]] GtkProgressBar* ProgBar1Widget() const { return progress_.widget(); }

 private:
  BuiltWindow layout_;
  GObjectRef<GtkWindow> window_;
  AdjustmentProgressBar progress_;
  GtkLabelText status_;
  GtkLabelText version_;
};

class GtkForm1 final : public TForm1 {
 public:
  // Builds the window hidden; Create() runs its creation handler. The
  // engine's functions must outlive the window.
  GtkForm1(Application& app, const WebKitApi& webkit);
  ~GtkForm1() override;
  void Create();

  void Show() override;
  void Hide() override;
  [[nodiscard]] bool Visible() const override;
  void Close() override;

  [[nodiscard]] WebView& WebBrowser1() override { return web_; }
  [[nodiscard]] GtkWebBrowser& Browser() { return web_; }
  [[nodiscard]] Timer& Timer1() override { return clock_; }
  [[nodiscard]] Timer& tmrWatchWeb() override { return watch_; }
  [[nodiscard]] int OuterWidth() const override;
  [[nodiscard]] int OuterHeight() const override;
  [[nodiscard]] int WebBrowser1Top() const override;
  void SetWebBrowser1Size(int width, int height) override;
  void SetPanelText(int index, std::string_view text) override;
  void SetPanelWidth(int index, int width) override;

  [[nodiscard]] GtkWindow* window() const { return window_.get(); }
  [[nodiscard]] GtkBuilder* builder() const { return layout_.builder(); }
  [[nodiscard]] GtkLabel* Panel(int index) const;

 private:
  [[nodiscard]] GdkRectangle OuterSize() const;
  BuiltWindow layout_;
  GObjectRef<GtkWindow> window_;
  GtkWebBrowser web_;
  GtkTimer clock_;
  GtkTimer watch_;
  std::array<GObjectRef<GtkLabel>, 3> panels_;
};

class GtkFormFactory final : public FormFactory {
 public:
  GtkFormFactory(Application& app, const WebKitApi& webkit) : app_(app), webkit_(webkit) {}
  [[nodiscard]] std::unique_ptr<TForm2> CreateForm2() override;
  [[nodiscard]] std::unique_ptr<TForm1> CreateForm1() override;

 private:
  Application& app_;
  const WebKitApi& webkit_;
};

}  // namespace pagimor::gtk
