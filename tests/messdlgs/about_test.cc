// The About box built from its layout and read back.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "messdlgs/gtk_support.h"
#include "windows/gtk/vxweb2.h"

namespace pagimor {
namespace {

using namespace pagimor::testing;

TEST(AboutBox, IsLaidOutAsDesignedAndClosesWithOk) {
  PAGIMOR_REQUIRE_DISPLAY();
  TfrmAbout about;
  GtkWindow* window = about.Window();
  EXPECT_STREQ(gtk_window_get_title(window), "About This Pagimor");
  EXPECT_FALSE(gtk_window_get_resizable(window));
  EXPECT_EQ(gtk_window_get_type_hint(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  EXPECT_NE(gtk_window_get_icon(window), nullptr);
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));  // created hidden

  about.Show();
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)) != 0; }));
  GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
  EXPECT_EQ(gdk_window_get_width(gdkWindow), 399);
  EXPECT_EQ(gdk_window_get_height(gdkWindow), 127);
  // Centred on the screen, not at a laid-out place.
  GdkRectangle screen;
  gdk_monitor_get_geometry(gdk_display_get_monitor_at_window(gdk_display_get_default(), gdkWindow), &screen);
  int x = 0;
  int y = 0;
  gdk_window_get_origin(gdkWindow, &x, &y);
  EXPECT_NEAR(x, screen.x + (screen.width - 399) / 2, 1);
  EXPECT_NEAR(y, screen.y + (screen.height - 127) / 2, 1);

  EXPECT_EQ(BoundsInWindow(about.BitBtn1()), (Box{127, 94, 145, 25}));
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(about.BitBtn1())), "OK");
  EXPECT_EQ(gtk_window_get_default_widget(window), about.BitBtn1());
  EXPECT_EQ(gtk_window_get_focus(window), about.BitBtn1());

  EXPECT_EQ(BoundsInWindow(about.lblVersion()), (Box{296, 8, 97, 17}));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(about.lblVersion())), "Version 1.9");
  EXPECT_EQ(BoundsInWindow(about.Label1()), (Box{16, 32, 361, 33}));
  EXPECT_TRUE(gtk_label_get_line_wrap(GTK_LABEL(about.Label1())));
  // The sentence fits the two lines it has room for.
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(about.Label1())), &width, &height);
  EXPECT_LE(pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(about.Label1()))), 2);
  EXPECT_LE(height, 33);
  const Box label2 = BoundsInWindow(about.Label2());
  EXPECT_EQ(label2.left, 16);
  EXPECT_EQ(label2.top, 58);
  EXPECT_LE(label2.left + label2.width, 399);
  EXPECT_NE(std::string(gtk_label_get_text(GTK_LABEL(about.Label2()))).find("Pagimor"), std::string::npos);

  // OK closes the box: it is hidden, not destroyed, and nothing else ends.
  gtk_button_clicked(GTK_BUTTON(about.BitBtn1()));
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_visible(GTK_WIDGET(window)) == 0; }));
  EXPECT_EQ(WindowsNamed("frmAbout"), 1);
  // The title bar's close hides it as well.
  about.Show();
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)) != 0; }));
  gtk_window_close(window);
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_visible(GTK_WIDGET(window)) == 0; }));
  EXPECT_EQ(WindowsNamed("frmAbout"), 1);
}

TEST(AboutBox, IsDestroyedWithItsObject) {
  PAGIMOR_REQUIRE_DISPLAY();
  { TfrmAbout about; }
  EXPECT_EQ(WindowsNamed("frmAbout"), 0);
}

}  // namespace
}  // namespace pagimor
