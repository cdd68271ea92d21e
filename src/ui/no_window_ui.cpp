#include "ui/no_window_ui.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace miradel::ui {

namespace {

const char* LabelOf(int answer) {
  switch (answer) {
    case kIdOk: return "OK";
    case kIdCancel: return "Cancel";
    case kIdAbort: return "Abort";
    case kIdRetry: return "Retry";
    case kIdIgnore: return "Ignore";
    case kIdYes: return "Yes";
    case kIdNo: return "No";
    case kIdTryAgain: return "Try Again";
    case kIdContinue: return "Continue";
    default: return "?";
  }
}

// The buttons of a set in the order a box shows them; empty for an unknown set.
std::vector<int> ButtonsOf(unsigned style) {
  switch (style & kButtonMask) {
    case kOk: return {kIdOk};
    case kOkCancel: return {kIdOk, kIdCancel};
    case kAbortRetryIgnore: return {kIdAbort, kIdRetry, kIdIgnore};
    case kYesNoCancel: return {kIdYes, kIdNo, kIdCancel};
    case kYesNo: return {kIdYes, kIdNo};
    case kRetryCancel: return {kIdRetry, kIdCancel};
    case kCancelTryContinue: return {kIdCancel, kIdTryAgain, kIdContinue};
    default: return {};
  }
}

bool Labelled(const MessageBoxRequest& request) { return !request.yes_label.empty() || !request.no_label.empty(); }

// The label a button shows: the request's own for yes and no when it has them.
std::string ShownLabel(const MessageBoxRequest& request, int answer) {
  if (answer == kIdYes && !request.yes_label.empty()) return request.yes_label;
  if (answer == kIdNo && !request.no_label.empty()) return request.no_label;
  return LabelOf(answer);
}

}  // namespace

int DefaultAnswer(unsigned style, bool retry_save_labels) {
  switch (style & kButtonMask) {
    case kOk: return kIdOk;
    case kAbortRetryIgnore: return kIdAbort;
    case kYesNo: return retry_save_labels ? kIdYes : kIdNo;
    case kOkCancel:
    case kYesNoCancel:
    case kRetryCancel:
    case kCancelTryContinue:
    default: return kIdCancel;
  }
}

int DefaultAnswer(const MessageBoxRequest& request) { return DefaultAnswer(request.style, Labelled(request)); }

bool IsAnswerOf(unsigned style, int answer) {
  for (int b : ButtonsOf(style)) {
    if (b == answer) return true;
  }
  return false;
}

std::string ButtonsText(const MessageBoxRequest& request) {
  std::string out;
  for (int b : ButtonsOf(request.style)) {
    if (!out.empty()) out += ' ';
    out += '[' + ShownLabel(request, b) + ']';
  }
  return out.empty() ? std::string("[?]") : out;
}

NoWindowUi::NoWindowUi()
    : m_sink([](const std::string& s) {
        std::fwrite(s.data(), 1, s.size(), stderr);
        std::fflush(stderr);
      }) {}

NoWindowUi::NoWindowUi(Sink sink) : m_sink(std::move(sink)) {}

int NoWindowUi::MessageBox(const MessageBoxRequest& request) {
  const int answer = DefaultAnswer(request);
  std::string out = "--- Miradel message";
  if (!request.caption.empty()) out += ": " + request.caption;
  out += " ---\n";
  out += request.text;
  if (out.back() != '\n') out += '\n';
  out += ButtonsText(request) + " -> " + ShownLabel(request, answer) + " (no window to ask in)\n";
  std::lock_guard<std::mutex> hold(m_mutex);
  if (m_sink) m_sink(out);
  return answer;
}

FolderChoice NoWindowUi::BrowseForFolder(std::intptr_t, const std::string& title, unsigned, std::string*) {
  Line("folder browser: " + title, "cancelled");
  return FolderChoice::kCancelled;
}

bool NoWindowUi::FileDialog(const FileDialogRequest& request, std::string*) {
  Line(std::string(request.save ? "save" : "open") + " file dialog: " + request.initial_name, "cancelled");
  return false;
}

bool NoWindowUi::FilePropertiesDialog(std::intptr_t, const FileProperties& properties) {
  Line("file properties: " + properties.model_file, properties.always_show ? "closed, always show" : "closed");
  return properties.always_show;
}

bool NoWindowUi::ArchiveDialog(std::intptr_t, bool[5]) {
  Line("archive model", "cancelled");
  return false;
}

void NoWindowUi::Line(std::string what, const char* outcome) {
  std::string out = "--- Miradel " + what;
  // One line, whatever the texts hold.
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  out += std::string(" -> ") + outcome + " (no window to ask in)\n";
  std::lock_guard<std::mutex> hold(m_mutex);
  if (m_sink) m_sink(out);
}

}  // namespace miradel::ui
