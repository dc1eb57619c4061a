#pragma once
// The About box: the product, its version and an OK button that closes it.
// Its layout is the GtkBuilder file vxweb2.ui, compiled into the program.
// Nothing in the program shows it yet; it stands ready as a finished window.

#include <gtk/gtk.h>

#include "MessDlgs/gtk/Handles.h"

namespace pagimor {

class TfrmAbout {
 public:
  // Creates the box, hidden, from its layout. Throws std::runtime_error when
  // the layout cannot be read or there is no display.
  TfrmAbout();
  ~TfrmAbout();
  TfrmAbout(const TfrmAbout&) = delete;
  TfrmAbout& operator=(const TfrmAbout&) = delete;

  void Show();
  // The toolkit's close operation: the box is hidden, nothing else ends.
  void Close();

  // The OK button's click handler.
  void BitBtn1Click(GtkWidget* sender);

  GtkWindow* Window() const { return frmAbout_.get(); }
  GtkWidget* BitBtn1() const { return BitBtn1_; }
  GtkWidget* lblVersion() const { return lblVersion_; }
  GtkWidget* Label1() const { return Label1_; }
  GtkWidget* Label2() const { return Label2_; }

 private:
  gtk::GObjectRef<GtkWindow> frmAbout_;
  GtkWidget* BitBtn1_ = nullptr;
  GtkWidget* lblVersion_ = nullptr;
  GtkWidget* Label1_ = nullptr;
  GtkWidget* Label2_ = nullptr;
  gtk::GObjectRef<GtkCssProvider> buttonStyle_;
};

}  // namespace pagimor
