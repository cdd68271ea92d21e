// The port and the host's callback table: which interface is in use, what the plain and the
// Retry/Save boxes, the folder browser, the file dialogs, the two dialogs and window enabling ask
// the host, and its answers coming back, also from two threads at once. The answers without a
// window, and the host's window kept disabled while a question of the copy thread is up. The
// portable halves of the two dialogs: the properties' field texts (size, times, fill rules on real
// and missing files) and the archive dialog's "Select All" rules. The numbered texts and the
// filling of their inserts; on Windows also: the DLL's STRINGTABLE holds the compiled-in texts byte
// for byte, and the portable formatter gives what the system's FormatMessageA gives.
//
// On Windows (under Wine with a virtual display) also the real boxes, folder browser, properties
// and archive dialogs. A helper thread finds each, reads what it shows and where, measures every
// control's text against its room and clicks as a person would. And a real host window kept
// disabled while a question is up, and the help library of either calling convention.

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>
#include <tuple>

#include "miradel.h"
#include "support/patience.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "ui/archive_dialog_model.h"
#include "ui/callback_ui.h"
#include "ui/file_properties_model.h"
#include "ui/format_message.h"
#include "ui/string_table.h"
#include "ui/window_disabler.h"
#include "ui/window_disabler_timings.h"

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#undef LoadString
#undef MessageBox

#include <atomic>
#include <cstdlib>

#include "platform/win32/primitives.h"
#include "ui/win32_ui.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace miradel::ui {
namespace {

using namespace std::chrono_literals;
constexpr unsigned kCentre = MIRADEL_UI_CENTRE_ON_OWNER;

// owner, text, caption, style, yes and no labels ("(null)" when the library passed none), flags
using Call = std::tuple<std::intptr_t, std::string, std::string, unsigned, std::string, std::string, unsigned>;

// The fixture is the host: it records each box and answers per text (else `answer_`). No box
// returns before `meet_` of them are inside at once.
struct CallbackUiTest : ::testing::Test {
  void TearDown() override { g_bRenameRetrySave = 0; }
  static int MIRADEL_CALL HostBox(void* context, intptr_t owner, const char* text, const char* caption,
                                  unsigned int style, const char* yes, const char* no, unsigned int flags) {
    auto* host = static_cast<CallbackUiTest*>(context);
    std::unique_lock<std::mutex> lock(host->mutex_);
    host->calls_.emplace_back(owner, text, caption, style, yes ? yes : "(null)", no ? no : "(null)", flags);
    host->cv_.notify_all();
    EXPECT_TRUE(host->cv_.wait_for(lock, test::Patience(), [&] { return host->calls_.size() >= host->meet_; }))
        << "the other thread's box never came";
    auto it = host->answers_.find(text);
    return it != host->answers_.end() ? it->second : host->answer_;
  }

  // The other slots: each call as text, with the buffer's capacity; `written_` (its terminator, if
  // any, included) goes into the buffer; answers `slot_answer_`.
  static int Slot(void* context, const std::string& call, char* buffer, unsigned capacity) {
    auto* host = static_cast<CallbackUiTest*>(context);
    host->slots_.push_back(call + "|" + std::to_string(capacity));
    std::memcpy(buffer, host->written_.data(), std::min<std::size_t>(capacity, host->written_.size()));
    return host->slot_answer_;
  }
  void Script(const std::string& written, int answer) { slots_.clear(); written_ = written; slot_answer_ = answer; }
  static int MIRADEL_CALL HostBrowse(void* c, intptr_t owner, const char* title, unsigned flags, char* folder,
                                     unsigned capacity) {
    return Slot(c, "browse|" + std::to_string(owner) + "|" + title + "|" + std::to_string(flags), folder, capacity);
  }
  template <bool kSave>
  static int MIRADEL_CALL FileSlot(void* c, intptr_t o, const char* f, const char* e, const char* n, const char* d,
                                   unsigned opt, char* path, unsigned cap) {
    return Slot(c, std::string(kSave ? "save|" : "open|") + std::to_string(o) + "|" + f + "|" + e + "|" + n + "|" + d +
                       "|" + std::to_string(opt), path, cap);
  }
  static void MIRADEL_CALL HostEnable(void* context, intptr_t window, int enable) {
    static_cast<CallbackUiTest*>(context)->enables_.emplace_back(window, enable);
  }

  test::ScopedUi restore_{nullptr};  // the platform default until a test installs a table
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
  int answer_ = kIdOk;
  std::map<std::string, int> answers_;
  std::size_t meet_ = 0;
  std::vector<std::string> slots_;
  std::string written_;
  int slot_answer_ = 1;
  std::vector<std::pair<std::intptr_t, int>> enables_;
  MiradelUiCallbacks table_{sizeof(MiradelUiCallbacks), this, &HostBox};
};

TEST_F(CallbackUiTest, EachBoxArrivesAsAskedAlsoFromTwoThreadsAtOnceAndOnlyAnAnswerOfItsButtonsComesBack) {
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  answers_ = {{"copy failed", kIdCancel}, {"update failed", kIdNo}, {"continue?", kIdYes}};
  EXPECT_EQ(kIdCancel, PlainMessageBox(0x1234, "copy failed", kOkCancel | kIconStop));
  g_bRenameRetrySave = 1;
  EXPECT_EQ(kIdNo, RetrySaveMessageBox(77, "update failed", "", kYesNo | kIconQuestion));
  g_bRenameRetrySave = 0;
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(78, "continue?", "Missing ", kYesNo | kIconQuestion));
  EXPECT_EQ(calls_, (std::vector<Call>{
                             {0x1234, "copy failed", "Miradel", kOkCancel | kIconStop, "(null)", "(null)", 0},
                             {77, "update failed", "", kYesNo | kIconQuestion, "&Retry", "&Save", kCentre},
                             {78, "continue?", "Missing ", kYesNo | kIconQuestion, "(null)", "(null)", kCentre}}));
  // An answer outside the buttons becomes the default.
  for (int garbage : {12345, -1, 0, static_cast<int>(kIdOk)}) {
    answer_ = garbage;
    EXPECT_EQ(kIdNo, RetrySaveMessageBox(1, "q", "", kYesNo, false)) << garbage;
    EXPECT_EQ(kIdYes, RetrySaveMessageBox(1, "q", "", kYesNo, true)) << garbage;
  }
  answer_ = kIdCancel;
  EXPECT_EQ(kIdOk, PlainMessageBox(1, "q"));  // an OK box unless told otherwise
  answer_ = kIdRetry;  // the failed fetch's box: Retry is one of its buttons, not the default Cancel
  EXPECT_EQ(kIdRetry, PlainMessageBox(1, "q", kRetryCancel));

  calls_.clear();
  meet_ = 2;  // neither box returns before both are up
  int copy_answer = 0;
  std::thread copy([&] { copy_answer = RetrySaveMessageBox(100, "update failed", "", kYesNo | kIconQuestion, true); });
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(200, "continue?", "Missing ", kYesNo, false));
  copy.join();
  EXPECT_EQ(kIdNo, copy_answer);
  std::sort(calls_.begin(), calls_.end());
  EXPECT_EQ(calls_, (std::vector<Call>{{100, "update failed", "", kYesNo | kIconQuestion, "&Retry", "&Save", kCentre},
                                       {200, "continue?", "Missing ", kYesNo, "(null)", "(null)", kCentre}}));
}

TEST_F(CallbackUiTest, TheBrowserTheDialogsAndEnablingReachTheHostAndOnlyUsablePathsAndClearAnswersCount) {
  table_.browse_for_folder = &HostBrowse;
  table_.enable_window = &HostEnable;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  const std::string longest(MIRADEL_FOLDER_BUFFER - 1, 'd');
  const char nul = '\0';
  struct Case { int answer; std::string written, folder; bool reported; };
  const Case cases[] = {
      {1, std::string("C:\\Models\\Pipe") + nul, "C:\\Models\\Pipe", false},
      {1, longest + nul, longest, false},
      {0, std::string("C:\\x") + nul, "", false},  // cancelled, whatever was written
      {2, std::string("C:\\x") + nul, "", false},
      {1, std::string(1, nul), "", true},  // empty
      {1, longest + 'd', "", true},        // does not fit: no terminator
  };
  const Call report{0x4321, "Unable to retrieve folder selection", kAppTitle, kOk | kIconStop, "(null)", "(null)", 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written.substr(0, 20) + " answered " + std::to_string(c.answer));
    Script(c.written, c.answer);
    calls_.clear();
    EXPECT_EQ(c.folder, BrowseForFolder(0x4321, "Select a folder", 0x41));
    EXPECT_EQ(slots_, std::vector<std::string>{"browse|17185|Select a folder|65|" + std::to_string(MIRADEL_FOLDER_BUFFER)});
    EXPECT_EQ(calls_, c.reported ? std::vector<Call>{report} : std::vector<Call>{});
  }
  Current().EnableWindow(0x99, false);
  Current().EnableWindow(0x99, true);
  EXPECT_EQ(enables_, (decltype(enables_){{0x99, 0}, {0x99, 1}}));

  unsigned version = 0;
  EXPECT_EQ(sizeof(MiradelUiCallbacks), MiradelUiCallbacksSize(&version));
  EXPECT_EQ(2u, version);
  EXPECT_EQ(sizeof(MiradelUiCallbacks), MiradelUiCallbacksSize(nullptr));

  // The file dialogs and both dialogs reach their slots, and only a clear answer counts. The
  // archive dialog flips every box.
  table_ = {sizeof table_, this, &HostBox, nullptr, &FileSlot<false>, &FileSlot<true>,
            [](void* c, intptr_t o, const MiradelFileProperties* p) {  // texts that are NULL would crash here
              auto* host = static_cast<CallbackUiTest*>(c);
              host->slots_.push_back(std::to_string(o) + p->model_file + "|" + p->last_saved_by + p->revision +
                                     p->created + p->modified + p->accessed + p->location + p->size +
                                     std::to_string(p->always_show));
              return host->slot_answer_;
            },
            [](void* c, intptr_t, int types[5]) {
              for (int i = 0; i < 5; ++i) types[i] = !types[i];
              return static_cast<CallbackUiTest*>(c)->slot_answer_;
            }};
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  const std::string path_max(259, 'p'), end(1, '\0');
  struct Pick { bool save; int answer; std::string written, path; };
  for (const Pick& c : {Pick{true, 1, "C:\\a\\m.QVC" + end, "C:\\a\\m.QVC"}, {false, 1, path_max + end, path_max},
                        {false, 1, path_max + "p", ""}, {true, 1, end, ""}, {true, 0, "C:\\x" + end, ""},
                        {false, 2, "C:\\x" + end, ""}}) {  // the third without a terminator in the buffer
    Script(c.written, c.answer);
    std::string path = "untouched";
    const bool chosen = Current().FileDialog({0x55, c.save, "Q (*.QVC)|*.QVC||", "QVC", "m_A", "C:\\m", 6}, &path);
    EXPECT_EQ(c.path.empty() ? "0untouched" : "1" + c.path, std::to_string(chosen) + path);
    const std::string call = std::string(c.save ? "save" : "open") + "|85|Q (*.QVC)|*.QVC|||QVC|m_A|C:\\m|6|260";
    EXPECT_EQ(slots_, std::vector<std::string>{call});
  }
  slots_.clear();
  for (int answer : {0, 7}) {
    slot_answer_ = answer;
    EXPECT_EQ(answer != 0, Current().FilePropertiesDialog(9, {"PUMP.CMB", "", "", "", "", "", "", "", true}));
  }
  EXPECT_EQ(slots_, std::vector<std::string>(2, "9PUMP.CMB|1"));
  const std::string given = {1, 0, 1, 1, 1}, flipped = {0, 1, 0, 0, 0};
  for (int answer : {1, 0, 2}) {
    slot_answer_ = answer;
    bool types[5] = {true, false, true, true, true};
    EXPECT_EQ(answer == 1, Current().ArchiveDialog(9, types));
    EXPECT_EQ(std::string(types, types + 5), answer == 1 ? flipped : given) << answer;  // else untouched
  }
}

TEST_F(CallbackUiTest, TheTableIsCopiedAndReadOnlyAsFarAsItsSizeAndMayLackMessageBox) {
  test::ScriptedUi scripted;
  EXPECT_EQ(nullptr, SetCurrent(&scripted));  // the platform default was in use
  // A host's table with garbage past message_box: too small, an older host's that ends right after
  // message_box, and a newer host's larger one. Each is overwritten as soon as it is installed.
  struct { MiradelUiCallbacks table; void* later[4]; } given;
  const unsigned older = offsetof(MiradelUiCallbacks, message_box) + sizeof(MiradelMessageBoxCallback);
  for (unsigned size : {0u, older - 1, older, static_cast<unsigned>(sizeof given)}) {
    std::memset(&given, 0xCD, sizeof given);
    given.table.size = size;
    given.table.context = this;
    given.table.message_box = &HostBox;
    EXPECT_EQ(size >= older ? 1 : 0, MiradelSetUiCallbacks(&given.table)) << size;
    const auto* installed = dynamic_cast<CallbackUi*>(&Current());
    if (size == older) {  // the slots past its size are none
      ASSERT_NE(installed, nullptr);
      EXPECT_EQ(installed->table().browse_for_folder, nullptr);
      EXPECT_EQ(installed->table().enable_window, nullptr);
    }
    std::memset(&given, 0xAB, sizeof given);
    PlainMessageBox(0, std::to_string(size));
  }
  EXPECT_EQ(2u, scripted.count());  // the refused ones left the interface in use as it was
  ASSERT_EQ(2u, calls_.size());
  EXPECT_EQ(std::to_string(older) + "|" + std::to_string(sizeof given),
            std::get<1>(calls_[0]) + "|" + std::get<1>(calls_[1]));
  EXPECT_EQ(1, MiradelSetUiCallbacks(nullptr));
  EXPECT_EQ(&PlatformDefault(), &Current());
#ifndef _WIN32  // there the platform's own boxes are real ones (Win32MessageBoxTest)
  // Without message_box, the platform's own box answers.
  table_.message_box = nullptr;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  testing::internal::CaptureStderr();
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(5, "the platform answers", "", kYesNo, true));
  // Nor the browser (cancelled, said on standard error) or enabling (nothing to do without a window).
  EXPECT_EQ("", BrowseForFolder(5, "the platform cancels", 0x40));
  Current().EnableWindow(5, false);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, said.find("the platform answers"));
  EXPECT_NE(std::string::npos, said.find("the platform cancels -> cancelled"));
  EXPECT_EQ(2u, calls_.size());
#endif
}

// Without a window: what goes to the terminal instead of a box, a folder browser, a file dialog or
// a dialog, and the answer taken.
TEST(WindowDisablerTest, WithoutAWindowAnswersAreWrittenAndAWindowIsDisabledAgainUntilStoppedThenEnabledOnce) {
  std::vector<std::string> written;
  NoWindowUi ui([&](const std::string& s) { written.push_back(s); });
  EXPECT_EQ(kIdCancel, ui.MessageBox({0, "Model directory is still not available", kAppTitle,
                                      kOkCancel | kIconInformation}));
  EXPECT_EQ(kIdYes, ui.MessageBox({0, "Unable to update model\r\n", "", kYesNo | kIconQuestion, false, kRetryLabel,
                                   kSaveLabel}));
  // A file that cannot be fetched ends the opening instead of being tried for ever.
  EXPECT_EQ(kIdCancel, ui.MessageBox({0, "not retrieved", "", kRetryCancel | kIconExclamation}));
  std::string folder = "kept";
  EXPECT_EQ(FolderChoice::kCancelled, ui.BrowseForFolder(3, "Select\r\nfolder", 0x40, &folder));
  EXPECT_EQ("kept", folder);
  bool types[5] = {true, true, true, true, true};
  EXPECT_FALSE(ui.FileDialog({0, true, "", "", "m_Archive"}, &folder));
  EXPECT_FALSE(ui.ArchiveDialog(0, types));
  // No caption, and the text's own line end is not doubled; the browser's line is one line.
  EXPECT_EQ(written, (std::vector<std::string>{
                         "--- Miradel message: Miradel ---\nModel directory is still not available\n"
                         "[OK] [Cancel] -> Cancel (no window to ask in)\n",
                         "--- Miradel message ---\nUnable to update model\r\n"
                         "[&Retry] [&Save] -> &Retry (no window to ask in)\n",
                         "--- Miradel message ---\nnot retrieved\n[Retry] [Cancel] -> Cancel (no window to ask in)\n",
                         "--- Miradel folder browser: Select  folder -> cancelled (no window to ask in)\n",
                         "--- Miradel save file dialog: m_Archive -> cancelled (no window to ask in)\n",
                         "--- Miradel archive model -> cancelled (no window to ask in)\n"}));

  // Disabled again until stopped, then enabled once, without waiting out the interval.
  using Enable = test::ScriptedUi::Enable;
  struct RestoreTimings { ~RestoreTimings() { WindowDisablerTimings::Restore(); } } restore;
  // A short interval: disabled again and again while up. A long one: Stop does not wait it out.
  for (const auto interval : {1ms, 60000ms}) {
    test::ScriptedUi ui;
    test::ScopedUi scope(&ui);
    WindowDisablerTimings::SetInterval(interval);
    WindowDisabler(0).Stop();  // no window: no call at all
    const std::size_t disables = interval < 1s ? 3 : 1;
    {
      WindowDisabler disabler(0x77);
      for (int i = 0; i < 6000 && ui.enables().size() < disables; ++i) std::this_thread::sleep_for(10ms);
      const auto stop = std::chrono::steady_clock::now();
      disabler.Stop();  // and the destructor once more
      EXPECT_TRUE(std::chrono::steady_clock::now() - stop < 10s) << interval.count() << " ms waited out";
    }
    std::this_thread::sleep_for(20ms);  // time for a late call to show
    std::vector<Enable> seen = ui.enables();
    ASSERT_GT(seen.size(), disables) << interval.count();
    EXPECT_EQ(Enable(0x77, true), seen.back());
    seen.pop_back();
    EXPECT_EQ(seen, std::vector<Enable>(seen.size(), Enable(0x77, false)));
  }
}

// A local calendar time.
platform::FileTime Local(int year, int month, int day, int hour, int minute, int second, int nanos = 0) {
  std::tm t{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1};
#ifdef _WIN32
  return {static_cast<std::int64_t>(_mktime64(&t)), nanos, true};  // mktime ends in 2038 there
#else
  return {static_cast<std::int64_t>(std::mktime(&t)), nanos, true};
#endif
}

std::string Boxes(const ArchiveDialogModel& m) {  // "Select All" then the five, as ticks
  std::string s(1, m.select_all() ? 'x' : '-');
  for (int i = 0; i < ArchiveDialogModel::kTypeCount; ++i) s += m.type(i) ? 'x' : '-';
  return s;
}

TEST(DialogModelsTest, PropertiesSizesTimesAndFillAndTheArchiveDialogsSelectAll) {
  const std::pair<std::uint64_t, const char*> sizes[] = {
      {0, "0 bytes (0 bytes)"}, {1023, "1023 bytes (1023 bytes)"}, {1024, "1.00 KB (1024 bytes)"},
      {1536, "1.50 KB (1536 bytes)"}, {1048575, "1024.00 KB (1048575 bytes)"}, {1048576, "1.00 MB (1048576 bytes)"},
      {1572863, "1.49 MB (1572863 bytes)"}, {5ull << 30, "5120.00 MB (5368709120 bytes)"}};
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(text, SizeText(bytes)) << bytes;
  std::int64_t now = Local(2026, 12, 5, 4, 11, 31).seconds * 1000000000;  // the hour's leading zero goes
  const std::pair<platform::FileTime, const char*> times[] = {
      {Local(2026, 12, 5, 4, 10, 31), "Today, December 05, 2026, 4:10:31 AM"}, {platform::FileTime{}, ""},
      {Local(2026, 12, 4, 21, 5, 3, 999'999'999), "Yesterday, December 04, 2026, 9:05:03 PM"},
      {Local(2026, 11, 30, 10, 0, 0), "Monday, November 30, 2026, 10:00:00 AM"},
      {Local(1970, 1, 1, 0, 0, 0), "Thursday, January 01, 1970, 12:00:00 AM"},  // second 0 where local is UTC
      {Local(2300, 1, 1, 13, 0, 0), "Monday, January 01, 2300, 1:00:00 PM"}};  // past 64-bit nanoseconds
  for (const auto& [when, text] : times) EXPECT_EQ(text, FormatFileTime(when, now)) << when.seconds;

  // The fill rules themselves are checked through NW_ShowFPDialog (archive_test); here the
  // directory as given, without its separator, and a time the port must not wrap around.
  test::TempDir dir;
  dir.Write("PUMP.CMB", std::string(1536, 'x'));
  const std::string bare = dir.path().substr(0, dir.path().size() - 1);
  now = std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
  const FileProperties p = FillFileProperties(platform::System(), bare, "PUMP.CMB", "jane   ", 5, 7, now);
  EXPECT_EQ(p.location, bare);
  EXPECT_EQ(p.size, "1.50 KB (1536 bytes)");
  EXPECT_EQ(p.last_saved_by, "jane");
#ifndef _WIN32  // Windows: the port's own test
  const struct timespec far[2] = {{0, UTIME_OMIT}, {10413792000 + 43200, 0}};  // 2300-01-01 at noon
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir.path() + "PUMP.CMB").c_str(), far, 0), 0);
  EXPECT_NE(FillFileProperties(platform::System(), bare, "PUMP.CMB", "", 0, 0, now).modified.find(", 2300, "),
            std::string::npos);
#endif

  // The archive dialog's Select All ticks or clears all, and is cleared by any box but never ticked
  // by one.
  ArchiveDialogModel m;  // the start state
  std::string seen = Boxes(m);
  // Reports off and on again, Select All off, then the five on one by one (and one that is none).
  for (auto [box, ticked] : {std::pair{2, false}, {2, true}, {-1, false}, {0, true}, {1, true}, {2, true}, {3, true},
                             {4, true}, {5, false}}) {
    box < 0 ? m.ClickSelectAll(ticked) : m.ClickType(box, ticked);
    seen += " " + Boxes(m);
  }
  EXPECT_EQ("xxxxxx -xx-xx -xxxxx ------ -x---- -xx--- -xxx-- -xxxx- -xxxxx -xxxxx", seen);
  const bool all[5] = {true, true, true, true, true}, some[5] = {true, false, true, false, false};
  EXPECT_EQ("xxxxxx|-x-x--", Boxes(ArchiveDialogModel(all)) + "|" + Boxes(ArchiveDialogModel(some)));
}

struct Case { std::string text; std::vector<std::string> inserts; std::string expected; };

// Each listed id has its text, by either lookup; other ids have none and leave the output alone.
// Inserts are filled as the platform's formatter does; broken texts come back as they are.
TEST(StringTableTest, ListedIdsHaveTheirTextsWhoseInsertsAreFilledAsTheFormatterDoes) {
  for (unsigned id : StringIds()) {
    std::string compiled;
    EXPECT_TRUE(CompiledString(id, &compiled)) << id;
    EXPECT_FALSE(compiled.empty()) << id;
    EXPECT_EQ(LoadString(id), compiled) << id;
  }
  std::string out = "untouched";
  for (unsigned id : {0u, 1u, 4u, 34u, 70000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(CompiledString(id, &out)) << id;
    EXPECT_EQ(LoadString(id), "") << id;
  }
  EXPECT_EQ("untouched", out);
  // An insert is not formatted again, and one not given is empty.
  EXPECT_EQ("You can continue working with the 'a%1b' model", FormatString(kStrContinueWorkingQuoted, "a%1b"));
  EXPECT_EQ("You can continue working with the  model", FormatString(kStrContinueWorking));

  // What the platform's formatter gives; the portable one must give the same.
  const Case cases[] = {
      {"%2%1 and %1", {"a", "b"}, "ba and a"},
      {"%12|%100", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten", "11", "twelve"}, "twelve|ten0"},
      {"%9 %10 %99", {"x"}, "  "}, {"100%% sure%.%!% x%q%,", {}, "100% sure.! xq,"},
      {"a%nb%rc%td", {}, "a\r\nb\rc\td"}, {"kept%0dropped %1", {"x"}, "kept"}, {"%0", {}, ""},
      {"a\nb\rc\r\nd\n\re", {}, "a\r\nb\r\nc\r\nd\r\n\r\ne"}, {"%\nx%\r", {}, "\nx\r"},
      {"[%1!5s!][%1!-5s!][%1!.2s!][%1!4.1s!][%1!s!]", {"abc"}, "[  abc][abc  ][ab][   a][abc]"},
      {"[%1!x!]", {"abc"}, "[abc]"},  // a conversion that is not for strings inserts the text
      {"", {"a"}, ""}};
  for (const Case& c : cases) {
    std::string portable;
    EXPECT_TRUE(FormatMessageText(c.text, c.inserts, &portable)) << c.text;
    EXPECT_EQ(c.expected, portable) << c.text;
    EXPECT_EQ(c.expected, FormatString(c.text, c.inserts)) << c.text;
  }

  // Only safe texts are left to the system, and broken ones come back as they are.
  for (const char* text : {"50%", "%1!s", "a %2!-3s"}) {
    std::string out = "untouched";
    EXPECT_FALSE(FormatMessageText(text, {"x", "y"}, &out)) << text;
    EXPECT_FALSE(SystemCanFormat(text, {"x", "y"})) << text;
    EXPECT_EQ("untouched", out);
    EXPECT_EQ(text, FormatString(text, {"x", "y"}));
  }
  EXPECT_TRUE(SystemCanFormat("%1 %2!-12.3s! %%", {"a"}));
  const Case refused[] = {{"%1!*s!"}, {"%1!d!"}, {"%1!ls!"}, {"%1!05s!"}, {"%1!99999s!"}, {"%1!!"},
                          {std::string("a\0b", 3)}, {"%1", {std::string("a\0b", 3)}}, {std::string(40000, 'x')},
                          {"%1%1", {std::string(20000, 'x')}}};
  for (const Case& c : refused) EXPECT_FALSE(SystemCanFormat(c.text, c.inserts)) << c.text.substr(0, 20);
  // What the system cannot take is formatted whole all the same.
  const std::string big(100000, 'y');
  EXPECT_EQ("<" + big + ">" + big, FormatString("<%1>%1", big));
  EXPECT_EQ(std::string("a\0z", 3), FormatString(std::string("a\0%1", 4), "z"));
}

#ifdef _WIN32  // resources, the system's formatter and the real windows are Windows only
TEST(Win32StringsTest, TheResourcesAndTheSystemsFormatterAgreeWithTheCompiledInOnes) {
  // The DLL the host loads, next to this test program, loaded as data only (none of its code runs).
  char path[MAX_PATH] = {};
  std::string dll(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "miradel.dll";
  HMODULE module = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module) << dll << " error " << GetLastError();
  for (unsigned id : StringIds()) {
    std::string compiled, loaded;
    EXPECT_TRUE(CompiledString(id, &compiled)) << id;
    EXPECT_TRUE(platform::win32::LoadModuleString(module, id, &loaded)) << id;
    EXPECT_EQ(compiled, loaded) << id;
  }
  std::string text = "untouched";
  void* before = platform::LibraryModule();
  platform::SetLibraryModule(nullptr);
  EXPECT_FALSE(platform::win32::LoadModuleString(module, 34, &text));
  EXPECT_FALSE(platform::win32::LoadLibraryString(kStrRetryOrSaveQuestion, &text));
  EXPECT_EQ("untouched", text);
  platform::SetLibraryModule(module);
  EXPECT_TRUE(platform::win32::LoadLibraryString(kStrFatigueFilesMissingCaption, &text));
  EXPECT_EQ("Fatigue Curve Files Missing ", text);
  EXPECT_EQ("Fatigue Curve Files Missing ", LoadString(kStrFatigueFilesMissingCaption));
  platform::SetLibraryModule(before);
  FreeLibrary(module);

  // The numbered texts, missing inserts, and texts of pieces that meet at every boundary (escapes,
  // numbers, conversions, line breaks): both formatters give the same, or both fail to give a
  // non-empty result (the system reports an empty result as a failure).
  const std::vector<std::string> inserts = {"C:\\models\\wing", "two", "x%1y"};
  std::vector<std::pair<std::string, std::vector<std::string>>> texts = {{"%1 %2 %3", {}}, {"%1 %2 %3", {"one"}}};
  for (unsigned id : StringIds()) texts.push_back({LoadString(id), inserts});
  const char* pieces[] = {"a", "%", "1", "2", "0", "n", "r", "t", "!", "s", "-", "5", ".",
                          "\n", "\r", " ", "%1", "%2!3s!", "%%", "%1!-2.1s!", "9"};
  std::mt19937 random(20240611u);
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    for (int n = static_cast<int>(random() % 13); n > 0; --n) text += pieces[random() % (sizeof pieces / sizeof *pieces)];
    if (SystemCanFormat(text, inserts)) texts.push_back({text, inserts});
  }
  EXPECT_GT(texts.size(), 1000u);
  for (const auto& [text, given] : texts) {
    std::string system, portable;
    ASSERT_TRUE(SystemCanFormat(text, given)) << text;
    ASSERT_TRUE(FormatMessageText(text, given, &portable)) << text;
    const bool system_ok = platform::win32::FormatWithSystem(text, given, kMaxInserts, &system);
    ASSERT_EQ(!portable.empty(), system_ok) << text;
    if (system_ok) ASSERT_EQ(portable, system) << text;
  }
}

// A visible top-level window of the calling thread at a chosen place: the box's owner.
struct OwnerWindow {
  HWND hwnd;
  OwnerWindow(int x, int y, int width = 400, int height = 300)
      : hwnd(CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height, nullptr,
                             nullptr, nullptr, nullptr)) {}
  ~OwnerWindow() { DestroyWindow(hwnd); }
  std::intptr_t handle() const { return reinterpret_cast<std::intptr_t>(hwnd); }
};

std::string TextOf(HWND window) {  // "" for none
  char buffer[512] = {};
  return std::string(buffer, window ? static_cast<std::size_t>(std::max(0, GetWindowTextA(window, buffer, 512))) : 0);
}

// The window's middle is that of owner, or of the work area for none, to the pixel that halving
// loses.
bool Centred(HWND window, HWND owner) {
  RECT area, r;
  return (owner ? GetWindowRect(owner, &area) : SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) &&
         GetWindowRect(window, &r) && std::abs(r.left + r.right - area.left - area.right) <= 1 &&
         std::abs(r.top + r.bottom - area.top - area.bottom) <= 1;
}

// What does not fit: each control whose text (in its own font, the mnemonic marks left out) is
// wider than its client area, with room for a check box's square and for a group box's frame on
// both sides of its caption; only a field that scrolls may hold more. And a dialog that is not
// centred on its owner, or on the work area when it has none.
std::vector<std::string> Misfits(HWND dialog) {
  std::vector<std::string> out;
  HDC dc = CreateCompatibleDC(nullptr);  // the screen's, for this helper's fonts alone
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char name[32] = {};
    std::string s = TextOf(c);
    const bool edit = GetClassNameA(c, name, sizeof name) && std::string(name) == "Edit";
    for (std::size_t i = s.find('&'); !edit && i != std::string::npos; i = s.find('&', i + 1)) s.erase(i, 1);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
    SIZE size = {}, letter = {};
    RECT room = {};
    GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
    GetTextExtentPoint32A(dc, "x", 1, &letter);
    const LONG style = GetWindowLongA(c, GWL_STYLE), kind = std::string(name) == "Button" ? style & BS_TYPEMASK : -1;
    size.cx += kind == BS_AUTOCHECKBOX ? GetSystemMetrics(SM_CXMENUCHECK) + letter.cx
               : kind == BS_GROUPBOX   ? 2 * letter.cx
                                       : 0;
    if (GetClientRect(c, &room) && size.cx > room.right && !(edit && style & WS_HSCROLL))
      out.push_back(s + ": " + std::to_string(size.cx) + " > " + std::to_string(room.right));
  }
  DeleteDC(dc);
  if (!Centred(dialog, GetWindow(dialog, GW_OWNER))) out.push_back("not centred");
  return out;
}

// Runs show() on this thread while a helper waits for the dialog of that caption (any, for null; up
// to 60 s, a safety net) and, once its thread is back in its message loop (by then the hooks have
// acted), collects its misfits and runs act(dialog). Without a dialog the helper ends the thread's
// modal loop, so that the test fails rather than hangs.
std::vector<std::string> Operate(const char* caption, const std::function<void()>& show,
                                 const std::function<void(HWND)>& act) {
  std::vector<std::string> seen;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 3000 && !(dialog = FindWindowA(MAKEINTATOM(32770), caption)); ++i) Sleep(20);
    if (!dialog) return (void)PostThreadMessageA(thread, WM_QUIT, 0, 0);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, nullptr);
    seen = Misfits(dialog);
    act(dialog);
  });
  show();
  helper.join();
  return seen;
}

// What the helper saw of one box ("" for a button it lacks).
struct Seen { bool centred = false; std::string text, yes, no; RECT rect = {}; };

// Shows a box with show() and presses `button` once meanwhile() has run.
Seen ShowAndPress(HWND owner, const char* caption, int button, const std::function<int()>& show, int* answer,
                  const std::function<void()>& meanwhile = [] {}) {
  Seen s;
  Operate(caption, [&] { *answer = show(); }, [&](HWND box) {
    meanwhile();
    GetWindowRect(box, &s.rect);
    s = {Centred(box, owner), TextOf(GetDlgItem(box, 0xFFFF)), TextOf(GetDlgItem(box, IDYES)),
         TextOf(GetDlgItem(box, IDNO)), s.rect};  // 0xFFFF: the box's static text
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  });
  return s;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
std::string Ticks(HWND dialog, std::vector<int> ids) {
  std::string s;
  for (int id : ids) s += IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 'x' : '-';
  return s;
}
TEST(Win32WindowTest, EachBoxShowsWhereItBelongsTheBrowserBelongsToItsOwnerAndAHostWindowStaysDisabled) {
  if (!OwnerWindow(0, 0, 50, 50).hwnd) GTEST_SKIP() << "no display to show windows on";
  test::ScopedUi ui(&WindowsUi());
  struct ClearFlag { ~ClearFlag() { g_bRenameRetrySave = 0; } } clear_flag;
  RECT screen;
  GetWindowRect(GetDesktopWindow(), &screen);
  // Owners far from the middle of the screen or over its corners. A plain box is neither moved nor
  // relabelled, whatever the flag says: the system places it by its own rule, not in the middle of
  // the owner, which gives the centring checks their meaning. An owner that is no window leaves the
  // box anywhere.
  enum Place { kPlain, kBottomRight, kOrigin, kNoOwner };
  struct Case { const char* text; int x, y, flag, style, button; const char *yes, *no; Place place; };
  const Case cases[] = {
      {"plain box", 30, 30, 1, MB_YESNO, IDNO, "&Yes", "&No", kPlain},
      {"owner over the bottom right", screen.right - 120, screen.bottom - 80, 0, MB_OK, IDOK, "", "", kBottomRight},
      {"owner over the top left", -350, -250, 0, MB_OK | MB_ICONEXCLAMATION, IDOK, "", "", kOrigin},
      {"owner that is no window", 10, 10, 1, MB_YESNO, IDYES, "&Retry", "&Save", kNoOwner}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    OwnerWindow owner(c.x, c.y);
    if (c.place == kNoOwner) DestroyWindow(owner.hwnd);
    g_bRenameRetrySave = c.flag;
    int answer = 0;
    const Seen seen = ShowAndPress(owner.hwnd, c.place == kPlain ? kAppTitle : "Caption ", c.button, [&] {
      return c.place == kPlain ? PlainMessageBox(owner.handle(), c.text, c.style)
                               : RetrySaveMessageBox(owner.handle(), c.text, "Caption ", c.style);
    }, &answer);
    EXPECT_EQ(c.button, answer);
    EXPECT_EQ(std::string(c.text) + "|" + c.yes + "|" + c.no, seen.text + "|" + seen.yes + "|" + seen.no);
    if (c.place == kPlain) EXPECT_FALSE(seen.centred);
    if (c.place == kBottomRight)
      EXPECT_EQ(std::make_pair(seen.rect.right, seen.rect.bottom), std::make_pair(screen.right, screen.bottom));
    if (c.place == kOrigin) EXPECT_EQ(std::make_pair(seen.rect.left, seen.rect.top), std::make_pair(0L, 0L));
  }

  // Centred and labelled as asked: the copy thread's question and the host thread's ordinary yes/no
  // box, each owned by a window of its own thread; neither is read or pressed before both are up.
  struct Asker { int x, flag, button; const char *text, *yes, *no; int answer; Seen seen; };
  Asker askers[] = {{60, 1, IDNO, "copy thread", "&Retry", "&Save", 0, {}},
                    {700, 0, IDYES, "host thread", "&Yes", "&No", 0, {}}};
  std::atomic<int> up{0};
  auto ask = [&](Asker* a) {
    OwnerWindow owner(a->x, 80 + a->x / 2, 380, 280);
    g_bRenameRetrySave = a->flag;
    a->seen = ShowAndPress(owner.hwnd, a->text, a->button, [&] {
      return RetrySaveMessageBox(owner.handle(), a->text, a->text, MB_YESNO | MB_ICONQUESTION);
    }, &a->answer, [&] {
      ++up;
      for (int i = 0; i < 3000 && up < 2; ++i) Sleep(20);
    });
  };
  std::thread copy(ask, &askers[0]);
  for (int i = 0; i < 3000 && up == 0; ++i) Sleep(20);  // its labels are fixed before the flag changes
  EXPECT_EQ(1, up.load()) << "the copy thread's box did not come up";
  std::thread asking_host(ask, &askers[1]);
  copy.join();
  asking_host.join();
  for (const Asker& a : askers) {
    EXPECT_TRUE(a.seen.centred) << a.text;
    EXPECT_EQ(std::string(a.text) + "|" + a.yes + "|" + a.no, a.seen.text + "|" + a.seen.yes + "|" + a.seen.no);
    EXPECT_EQ(a.button, a.answer) << a.text;
  }

  // The folder browser belongs to its owner, and a host window stays disabled while a question is up.
  auto await = [](const std::function<bool()>& done) {  // up to 60 s
    for (int i = 0; i < 3000 && !done(); ++i) Sleep(20);
    return done();
  };
  OwnerWindow owner(100, 100);
  char windows_dir[MAX_PATH] = {};
  GetWindowsDirectoryA(windows_dir, MAX_PATH);
  // Cancelled; and a folder chosen as a person would (selected in the tree, then OK).
  for (const char* chosen : {static_cast<const char*>(nullptr), static_cast<const char*>(windows_dir)}) {
    HWND shown_title = nullptr, box_owner = nullptr;
    std::string folder = "untouched";
    FolderChoice choice = FolderChoice::kNoPath;
    Operate(nullptr, [&] {
      choice = WindowsUi().BrowseForFolder(owner.handle(), "Pick the model folder", 0x40, &folder);
    }, [&](HWND box) {
      box_owner = GetWindow(box, GW_OWNER);
      shown_title = FindWindowExA(box, nullptr, "Static", "Pick the model folder");
      if (chosen) SendMessageA(box, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen));
      PostMessageA(box, WM_COMMAND, chosen ? IDOK : IDCANCEL, 0);
    });
    EXPECT_EQ(chosen ? FolderChoice::kChosen : FolderChoice::kCancelled, choice);
    EXPECT_EQ(box_owner, owner.hwnd);
    EXPECT_NE(shown_title, nullptr);
    EXPECT_EQ(chosen ? chosen : "untouched", folder);
  }

  // The host's window on a thread of its own that handles its messages; the question is up on this
  // one, as on the copy thread. The host enables its window meanwhile.
  std::atomic<HWND> host{nullptr};
  std::atomic<DWORD> host_thread{0};
  std::thread host_ui([&] {
    OwnerWindow window(300, 300);
    host = window.hwnd;
    host_thread = GetCurrentThreadId();
    for (MSG msg; GetMessageA(&msg, nullptr, 0, 0) > 0;) DispatchMessageA(&msg);
  });
  await([&] { return host_thread != 0; });
  struct RestoreTimings { ~RestoreTimings() { WindowDisablerTimings::Restore(); } } restore;
  WindowDisablerTimings::SetInterval(std::chrono::milliseconds(20));
  {
    WindowDisabler disabler(reinterpret_cast<std::intptr_t>(host.load()));
    EXPECT_TRUE(await([&] { return !IsWindowEnabled(host); }));
    EnableWindow(host, TRUE);
    EXPECT_TRUE(await([&] { return !IsWindowEnabled(host); })) << "not disabled again";
  }
  EXPECT_TRUE(IsWindowEnabled(host));
  PostThreadMessageA(host_thread, WM_QUIT, 0, 0);
  host_ui.join();
}

TEST(Win32DialogsTest, BothDialogsFitTheirTextsSitCentredFollowTheirModelsAndEndAsTheUserDid) {
  OwnerWindow owner(500, 400);
  if (!owner.hwnd) GTEST_SKIP() << "no display to show windows on";
  FileProperties p{"PUMP.CMB", "JANE", "7", "Today, December 05, 2026, 4:10:31 AM", "Friday, December 04, 2026, 9:05:03 PM",
                   "", "C:\\models\\a folder with a long name\\and another\\and one more level\\pump", "1.50 KB (1536 bytes)"};
  // Properties: the box is clicked, the help button pressed, and the dialog ends by
  // Close (IDOK), the close box (0) or Escape (IDCANCEL). Only Close reads the box back.
  struct Case { int end; bool in, out; };
  for (const Case& c : {Case{IDOK, true, false}, {IDOK, false, true}, {0, true, true}, {IDCANCEL, false, false}}) {
    SCOPED_TRACE(std::to_string(c.end) + (c.in ? " ticked" : " clear"));
    p.always_show = c.in;
    bool result = !c.out;
    std::vector<std::string> steps;
    const auto seen = Operate("Model File Properties", [&] {
      result = WindowsUi().FilePropertiesDialog(reinterpret_cast<std::intptr_t>(owner.hwnd), p);
    }, [&](HWND d) {
      LOGFONTA font = {};  // the template's
      GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d, WM_GETFONT, 0, 0)), sizeof font, &font);
      steps.push_back(Ticks(d, {2008}) + std::to_string(GetWindow(d, GW_OWNER) == owner.hwnd) + font.lfFaceName);
      for (int id = 2000; id <= 2007; ++id) steps.back() += "|" + TextOf(GetDlgItem(d, id));
      Click(d, 2008);
      Click(d, 2009);  // without the host's help library: nothing happens
      if (c.end == IDOK) Click(d, IDOK);
      if (c.end == IDCANCEL) PostMessageA(GetDlgItem(d, 2000), WM_KEYDOWN, VK_ESCAPE, 0);
      if (!c.end) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(c.out, result);
    EXPECT_EQ(steps, (std::vector<std::string>{std::string(c.in ? "x" : "-") + "1MS Sans Serif|PUMP.CMB|JANE|" +
                                               p.created + "|" + p.modified + "||" + p.location + "|" + p.size + "|7"}));
    EXPECT_EQ(std::vector<std::string>{}, seen);
  }

  // Archive: Select All off, the five on one by one, Select All on, Reports off, help; then OK,
  // Cancel or the close box (0).
  const std::vector<int> boxes = {2017, 2012, 2014, 2016, 2015, 2018};  // Select All, then in the order of types
  for (int end : {IDOK, IDCANCEL, 0}) {
    bool types[5] = {true, true, true, true, true}, result = end != IDOK;
    std::vector<std::string> steps;
    const auto seen = Operate("Archive Model", [&] {
      result = WindowsUi().ArchiveDialog(0, types);
    }, [&](HWND d) {
      steps.push_back(Ticks(d, boxes));
      for (const std::vector<int>& ids : {std::vector<int>{2017}, {2012, 2014, 2016, 2015, 2018}, {2017, 2016}}) {
        for (int id : ids) Click(d, id);
        steps.push_back(Ticks(d, boxes));
      }
      Click(d, 9);
      if (end) Click(d, end);
      else PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(steps, (std::vector<std::string>{"xxxxxx", "------", "-xxxxx", "-xx-xx"}));
    EXPECT_EQ(end == IDOK ? "1 11011" : "0 11111", std::to_string(result) + " " + std::to_string(types[0] * 10000 +
                                                    types[1] * 1000 + types[2] * 100 + types[3] * 10 + types[4]));
    EXPECT_EQ(std::vector<std::string>{}, seen);
  }
}

// The host's help library may be built with either calling convention: a thousand calls into a
// stand-in of each reach it with their arguments and leave the caller's stack as it was.
TEST(Win32DialogsTest, HelpReachesALibraryOfEitherCallingConvention) {
#ifndef __i386__
  GTEST_SKIP() << "only 32-bit x86 Windows has two calling conventions";
#else
  char program[MAX_PATH] = {};
  std::string dir(program, GetModuleFileNameA(nullptr, program, MAX_PATH));
  dir = dir.substr(0, dir.find_last_of('\\') + 1);
  for (const std::string convention : {"stdcall", "cdecl"}) {
    HMODULE stub = LoadLibraryA((dir + "hx_help_" + convention + "\\hx_help.dll").c_str());
    using Last = const char*(__cdecl*)();  // the last call described
    auto last = reinterpret_cast<Last>(reinterpret_cast<void*>(GetProcAddress(stub, "hx_stub_last")));
    ASSERT_NE(stub, nullptr) << convention;
    ASSERT_NE(last, nullptr) << convention;
    volatile int canary = 12345;  // a stack left wrong by a call shows here, if it does not crash
    for (int i = 1; i <= 1000; ++i) platform::win32::ShowHelpTopic(0x10000 + i, "C:\\help\\" + convention, i);
    EXPECT_EQ("1000 103e8 C:\\help\\" + convention + " 1 1000", std::string(last()));
    EXPECT_EQ(canary, 12345);
    FreeLibrary(stub);
  }
#endif
}
#endif

}  // namespace
}  // namespace miradel::ui
