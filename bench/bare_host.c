/* The floor the benchmarks measure the runtime against: the least a GTK 3 + WebKitGTK program
 * does to show a folder of pages. It reads the folder into memory at start, serves it under the
 * "bare" scheme (with single byte ranges, from memory), answers the script message "echo" with
 * the value it got and "write" by writing the string it got to a file (through a temporary file,
 * flushed to the disk, as the runtime writes) and answering true, and
 * follows the page's title in the window's caption. Nothing else: no settings, no archive, no
 * origin checks.
 *
 * Usage: bare-host FOLDER PROFILE WRITE_FILE
 *   FOLDER      the pages, served as bare://app/<path>, starting at index.html
 *   PROFILE     the engine's data and cache folder
 *   WRITE_FILE  where "write" messages go
 */
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static GHashTable* files; /* path -> GBytes */
static const char* write_path;

static void load_folder(const char* root, const char* relative)
{
  char* path = g_build_filename(root, relative, NULL);
  GDir* dir = g_dir_open(path, 0, NULL);
  if (!dir) {
    g_free(path);
    return;
  }
  const char* name;
  while ((name = g_dir_read_name(dir))) {
    char* child_relative = *relative ? g_strconcat(relative, "/", name, NULL) : g_strdup(name);
    char* child = g_build_filename(root, child_relative, NULL);
    if (g_file_test(child, G_FILE_TEST_IS_DIR)) {
      load_folder(root, child_relative);
      g_free(child_relative);
    } else {
      gchar* data;
      gsize size;
      if (g_file_get_contents(child, &data, &size, NULL))
        g_hash_table_insert(files, child_relative, g_bytes_new_take(data, size));
      else
        g_free(child_relative);
    }
    g_free(child);
  }
  g_dir_close(dir);
  g_free(path);
}

static void serve(WebKitURISchemeRequest* request, gpointer unused)
{
  (void)unused;
  const char* path = webkit_uri_scheme_request_get_path(request);
  while (*path == '/')
    path++;
  GBytes* bytes = g_hash_table_lookup(files, path);
  if (!bytes) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  gsize size = g_bytes_get_size(bytes);
  gsize first = 0, count = size;
  guint status = 200;
  SoupMessageHeaders* in = webkit_uri_scheme_request_get_http_headers(request);
  const char* range = in ? soup_message_headers_get_one(in, "Range") : NULL;
  unsigned long long a, b;
  if (range && sscanf(range, "bytes=%llu-%llu", &a, &b) == 2 && a <= b && a < size) {
    first = a;
    count = (b < size ? b + 1 : size) - a;
    status = 206;
  }
  GBytes* part = g_bytes_new_from_bytes(bytes, first, count);
  GInputStream* stream = g_memory_input_stream_new_from_bytes(part);
  g_bytes_unref(part);
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, (gint64)count);
  g_object_unref(stream);
  const char* type = g_str_has_suffix(path, ".html")  ? "text/html"
                     : g_str_has_suffix(path, ".js") ? "text/javascript"
                                                     : "application/octet-stream";
  webkit_uri_scheme_response_set_content_type(response, type);
  if (status == 206) {
    SoupMessageHeaders* out = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    char value[96];
    snprintf(value, sizeof value, "bytes %zu-%zu/%zu", (size_t)first, (size_t)(first + count - 1), (size_t)size);
    soup_message_headers_append(out, "Content-Range", value);
    webkit_uri_scheme_response_set_http_headers(response, out);
    webkit_uri_scheme_response_set_status(response, 206, "Partial Content");
  }
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

static gboolean on_echo(WebKitUserContentManager* manager, JSCValue* value, WebKitScriptMessageReply* reply,
                        gpointer unused)
{
  (void)manager;
  (void)unused;
  webkit_script_message_reply_return_value(reply, value);
  return TRUE;
}

static gboolean on_write(WebKitUserContentManager* manager, JSCValue* value, WebKitScriptMessageReply* reply,
                         gpointer unused)
{
  (void)manager;
  (void)unused;
  GBytes* bytes = jsc_value_to_string_as_bytes(value);
  gsize size;
  const char* data = g_bytes_get_data(bytes, &size);
  /* As safely as the runtime writes: a temporary file, flushed to the disk, renamed into place. */
  gboolean ok = g_file_set_contents_full(write_path, data, (gssize)size,
                                         G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE, 0666, NULL);
  g_bytes_unref(bytes);
  JSCValue* answer = jsc_value_new_boolean(jsc_value_get_context(value), ok);
  webkit_script_message_reply_return_value(reply, answer);
  g_object_unref(answer);
  return TRUE;
}

static void on_title(GObject* view, GParamSpec* param, gpointer window)
{
  (void)param;
  const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view));
  gtk_window_set_title(GTK_WINDOW(window), title ? title : "");
}

int main(int argc, char** argv)
{
  if (argc != 4) {
    fprintf(stderr, "usage: %s FOLDER PROFILE WRITE_FILE\n", argv[0]);
    return 2;
  }
  gtk_init(&argc, &argv);
  write_path = argv[3];
  files = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, (GDestroyNotify)g_bytes_unref);
  load_folder(argv[1], "");

  char* data = g_build_filename(argv[2], "data", NULL);
  char* cache = g_build_filename(argv[2], "cache", NULL);
  WebKitWebsiteDataManager* manager =
    webkit_website_data_manager_new("base-data-directory", data, "base-cache-directory", cache, NULL);
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
  webkit_web_context_register_uri_scheme(context, "bare", serve, NULL, NULL);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, "bare");
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "bare");

  WebKitUserContentManager* content = webkit_user_content_manager_new();
  g_signal_connect(content, "script-message-with-reply-received::echo", G_CALLBACK(on_echo), NULL);
  g_signal_connect(content, "script-message-with-reply-received::write", G_CALLBACK(on_write), NULL);
  webkit_user_content_manager_register_script_message_handler_with_reply(content, "echo", NULL);
  webkit_user_content_manager_register_script_message_handler_with_reply(content, "write", NULL);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 960, 680);
  GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager",
                                            content, NULL));
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "notify::title", G_CALLBACK(on_title), window);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show_all(window);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), "bare://app/index.html");
  gtk_main();
  g_free(data);
  g_free(cache);
  return 0;
}
