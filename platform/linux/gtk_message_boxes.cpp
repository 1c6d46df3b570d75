#include "platform/linux/gtk_message_boxes.h"

#include <gtk/gtk.h>

#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/message_box.h"
#include "platform/text_encoding.h"

namespace platform {

class GtkMessageBoxes : public std::enable_shared_from_this<GtkMessageBoxes> {
 public:
  explicit GtkMessageBoxes(UiPoster post)
      : uiThread_(std::this_thread::get_id()), post_(std::move(post)) {}

  int Show(const std::string& text, const std::string& caption, unsigned flags);
  void AnswerAll();

 private:
  struct Request {
    std::shared_ptr<GtkMessageBoxes> owner;
    std::string text;
    std::string caption;
    unsigned flags = 0;
    std::promise<int> answer;
    bool answered = false;
    GtkWidget* dialog = nullptr;
  };

  static gboolean Open(gpointer data);
  static void OnResponse(GtkDialog* dialog, gint response, gpointer data);
  void Finish(Request* request, int answer);

  std::thread::id uiThread_;
  UiPoster post_;
  std::mutex mutex_;
  bool closed_ = false;
  std::vector<std::shared_ptr<Request>> pending_;
};

namespace {

constexpr gint kResponseRetry = 1;
constexpr gint kResponseCancel = 2;
constexpr gint kResponseOk = 3;

bool IsRetryCancel(unsigned flags) { return (flags & 0xF) == kMbRetryCancel; }
int DismissAnswer(unsigned flags) { return IsRetryCancel(flags) ? kIdCancel : kIdOk; }

}  // namespace

int GtkMessageBoxes::Show(const std::string& text, const std::string& caption, unsigned flags) {
  auto request = std::make_shared<Request>();
  request->owner = shared_from_this();
  request->text = text;
  request->caption = caption;
  request->flags = flags;
  std::future<int> answer = request->answer.get_future();
  const bool onUiThread = std::this_thread::get_id() == uiThread_;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return DismissAnswer(flags);
    pending_.push_back(request);
    // Posted under the lock: once closed, the window system may be gone.
    if (!onUiThread) post_([request] { Open(new std::shared_ptr<Request>(request)); });
  }
  if (onUiThread) {
    Open(new std::shared_ptr<Request>(request));
    // The caller is the user-interface thread itself: keep the main loop running until the box
    // is answered, as a modal box does.
    while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      g_main_context_iteration(nullptr, TRUE);
    }
  }
  return answer.get();
}

gboolean GtkMessageBoxes::Open(gpointer data) {
  std::unique_ptr<std::shared_ptr<Request>> holder(static_cast<std::shared_ptr<Request>*>(data));
  Request* request = holder->get();
  {
    std::lock_guard lock(request->owner->mutex_);
    if (request->answered) return G_SOURCE_REMOVE;
  }
  const bool error = (request->flags & kMbIconError) != 0;
  const std::string text = GbkToUtf8(request->text);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL,
                                             error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER,
                                             GTK_BUTTONS_NONE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), GbkToUtf8(request->caption).c_str());
  if (IsRetryCancel(request->flags)) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), reinterpret_cast<const char*>(u8"重试(_R)"),
                          kResponseRetry);
    gtk_dialog_add_button(GTK_DIALOG(dialog), reinterpret_cast<const char*>(u8"取消"),
                          kResponseCancel);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), kResponseRetry);
  } else {
    gtk_dialog_add_button(GTK_DIALOG(dialog), reinterpret_cast<const char*>(u8"确定"),
                          kResponseOk);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), kResponseOk);
  }
  // System-modal boxes stay above everything, the splash included.
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  request->dialog = dialog;
  g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), request);
  gtk_widget_show_all(dialog);
  return G_SOURCE_REMOVE;
}

void GtkMessageBoxes::OnResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* request = static_cast<Request*>(data);
  int answer = DismissAnswer(request->flags);
  if (response == kResponseRetry) answer = kIdRetry;
  if (response == kResponseCancel) answer = kIdCancel;
  if (response == kResponseOk) answer = kIdOk;
  request->dialog = nullptr;
  // Keep the request alive past the destruction of its own dialog.
  std::shared_ptr<GtkMessageBoxes> owner = request->owner;
  gtk_widget_destroy(GTK_WIDGET(dialog));
  owner->Finish(request, answer);
}

void GtkMessageBoxes::Finish(Request* request, int answer) {
  std::shared_ptr<Request> keep;
  {
    std::lock_guard lock(mutex_);
    if (request->answered) return;
    request->answered = true;
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->get() == request) {
        keep = *it;
        pending_.erase(it);
        break;
      }
    }
  }
  request->answer.set_value(answer);
}

void GtkMessageBoxes::AnswerAll() {
  std::vector<std::shared_ptr<Request>> pending;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    pending = pending_;
  }
  // Destroying a dialog emits no "response": the waiting workers are answered here.
  for (const auto& request : pending) {
    if (request->dialog != nullptr) {
      GtkWidget* dialog = request->dialog;
      request->dialog = nullptr;
      g_signal_handlers_disconnect_by_data(dialog, request.get());
      gtk_widget_destroy(dialog);
    }
    Finish(request.get(), DismissAnswer(request->flags));
  }
}

std::shared_ptr<GtkMessageBoxes> InstallGtkMessageBoxes(UiPoster post) {
  auto boxes = std::make_shared<GtkMessageBoxes>(std::move(post));
  SetMessageBoxHandler([boxes](const std::string& text, const std::string& caption,
                               unsigned flags) { return boxes->Show(text, caption, flags); });
  return boxes;
}

void UninstallGtkMessageBoxes(const std::shared_ptr<GtkMessageBoxes>& boxes) {
  SetMessageBoxHandler(nullptr);
  boxes->AnswerAll();
}

}  // namespace platform
