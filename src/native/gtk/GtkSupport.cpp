// Helpers shared by the GTK parts of the native layer.
#include "GtkSupport.h"

namespace velmora {

std::string GtkValidUtf8(const std::string& Text)
{
  const auto length = static_cast<gssize>(Text.size());
  if (g_utf8_validate(Text.data(), length, nullptr))
    return Text;
  gchar* valid = g_utf8_make_valid(Text.data(), length);
  std::string result(valid);
  g_free(valid);
  return result;
}

GtkWindow* GtkActiveWindow(GtkWindow* Except)
{
  GtkWindow* active = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    auto* window = static_cast<GtkWindow*>(item->data);
    if (window != Except && gtk_widget_get_visible(GTK_WIDGET(window)) && gtk_window_is_active(window)) {
      active = window;
      break;
    }
  }
  g_list_free(toplevels);
  return active;
}

} // namespace velmora
