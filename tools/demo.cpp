// miradel demo: plays the host program against the library's exported functions, on sample models
// made for the purpose, and checks what each call did to the files.
//
// Only the NW_ functions (and the extension that lets a host answer message boxes) touch the
// models; the demo itself only makes the sample, edits the working copy as the host would, and
// looks at the directories afterwards. A second process is this same program, started through the
// system's command interpreter.
#include "demo.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "hostkit/host.h"
#include "hostkit/process.h"
#include "miradel.h"
#include "platform/env.h"

namespace miradel::tools {

namespace {

namespace fs = std::filesystem;
using namespace hostkit;

constexpr int kHostVersion = 80100;  // 8.0.1.0
constexpr std::size_t kLockNameChars = 31;  // what a lock file's owner fields hold

// --- Files, as the host and an observer see them.

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(fs::path(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return true;
}

std::string ContentOf(const std::string& path) {
  std::string bytes;
  return ReadFile(path, &bytes) ? bytes : std::string("(cannot be read)");
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::path(path), ec);
}

bool DirExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(fs::path(path), ec);
}

bool IsWritable(const std::string& path) {
  std::error_code ec;
  fs::file_status st = fs::status(fs::path(path), ec);
  return !ec && (st.permissions() & fs::perms::owner_write) != fs::perms::none;
}

void SetWritable(const std::string& path, bool writable) {
  std::error_code ec;
  fs::permissions(fs::path(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  writable ? fs::perm_options::add : fs::perm_options::remove, ec);
}

using text::LowerCase;

// The names of the files in a directory, lower-cased: the host's file systems ignore letter case.
std::set<std::string> FileNamesIn(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(dir), ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) names.insert(LowerCase(it->path().filename().string()));
  return names;
}

std::string Join(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : " ") + n;
  return text.empty() ? std::string("(none)") : text;
}

std::string WithoutTrailingSeparator(std::string dir) {
  while (dir.size() > 1 && dir.back() == kSep) dir.pop_back();
  return dir;
}

// --- The TTA case list: a header line, then one line per thermal case in 15-character columns.

std::string Column(const std::string& text) {
  std::string c = text.substr(0, 15);
  c.resize(15, ' ');
  return c;
}

std::string NumberColumn(int value) {
  std::string t = std::to_string(value);
  return std::string(t.size() < 15 ? 15 - t.size() : 0, ' ') + t;
}

std::string CaseLine(const std::string& input, const std::string& thermal_case, const std::string& profile, int tta_rev,
                     int ttp_rev, int analysis_rev) {
  return Column(input) + Column(thermal_case) + Column(profile) + NumberColumn(tta_rev) + NumberColumn(ttp_rev) +
         NumberColumn(analysis_rev) + "\r\n";
}

// A force spectrum file: a title, five header numbers, one record a spectrum (its name in columns
// 11-18).
std::string FsFile(const std::vector<std::string>& spectra) {
  std::string out = "FORCE SPECTRA OF PUMP P-101\r\n    1    0    0    0    0\r\n";
  for (const std::string& s : spectra) out += "SP" + std::string(8, ' ') + s + std::string(10 - s.size(), ' ') + "0.5\r\n";
  return out;
}

// Random bytes as hex, for a folder name nobody else has.
std::string RandomTag() {
  std::random_device rd;
  std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^
                    static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::ostringstream s;
  s << std::hex << (v & 0xffffffffffULL);
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Demo {
 public:
  int Run(const std::string& keep_dir);

 private:
  bool MakeSample(const std::string& keep_dir);
  bool StartHost();
  bool OpenPump();
  bool CompanionFiles();
  bool WorkAndWriteBack();
  bool SecondProcess();
  bool SwitchToValve();
  bool OpenPumpAndGoBack();
  bool Close();
  bool BackgroundWriteBack();
  bool ShareComesBack();
  bool SavedElsewhere();
  bool SaveAsSteps();
  bool ArchiveSteps();
  bool CloseAll();
  void LetGoOfEverything();
  void RemoveSample();

  void Step(const std::string& title) { std::cout << "\n== " << title << "\n"; }
  void Say(const std::string& text) { std::cout << "   " << text << "\n"; }
  bool Check(bool ok, const std::string& what) {
    ++checks_;
    if (!ok) ++failures_;
    std::cout << "   " << (ok ? "ok: " : "FAILED: ") << what << "\n";
    return ok;
  }
  // Nothing the library showed since the last look; what it did show is printed.
  bool CheckNoMessages(const std::string& during);
  // Starts "miradel args..." as a second process and prints what it said.
  int RunSelf(const std::vector<std::string>& args, std::string* output);

  static int MIRADEL_CALL OnMessageBox(void* context, intptr_t owner, const char* text, const char* caption,
                                       unsigned int style, const char* yes_label, const char* no_label,
                                       unsigned int flags);
  static int MIRADEL_CALL OnBrowse(void* context, intptr_t owner, const char* title, unsigned int flags,
                                   char* folder, unsigned int capacity);
  // Both file dialogs answer archive_; each call is recorded with its initial name and directory.
  static int MIRADEL_CALL OnFileDialog(void* context, intptr_t owner, const char* filter, const char* extension,
                                       const char* initial_name, const char* initial_directory, unsigned int options,
                                       char* path, unsigned int capacity);
  // Leaves what archive_types_ says ticked and presses OK.
  static int MIRADEL_CALL OnArchiveDialog(void* context, intptr_t owner, int types[5]);
  // Keeps the fields and closes with Close, the always-show box ticked.
  static int MIRADEL_CALL OnProperties(void* context, intptr_t owner, const MiradelFileProperties* properties);
  // The boxes shown since the last look, taken.
  std::vector<std::string> TakeBoxes();
  // Waits up to a minute for the file to hold bytes (the copy thread works on its own time).
  bool Arrives(const std::string& path, const std::string& bytes);
  // Moves the model directory out of the way and back, as a share that vanishes and returns.
  bool TakeAway(const std::string& dir);
  bool BringBack(const std::string& dir);

  // The sample: base ends in a separator; plant is pump's model directory as the host gives it
  // (without a trailing separator), valves is valve's (with one).
  std::string base_, plant_, valves_;
  // Where pump lives after it was saved elsewhere.
  std::string moved_;
  bool keep_ = false;
  bool made_base_ = false;
  std::string pump_out_v1_, pump_out_v2_, pump_dat_v2_;
  std::string user_, machine_;
  std::string pump_temp_, valve_temp_;
  // What the host holds, so that a demo cut short still lets go of it.
  bool holds_current_ = false, holds_previous_ = false;

  std::mutex boxes_mu_;
  std::vector<std::string> boxes_;
  // How the demo's user answers: the Retry/Save question (IDYES Retry, IDNO Save), and the folder
  // the browser hands back ("" cancels). The hook runs on each question before it is answered.
  int recovery_answer_ = 6;
  // Any other question: an answer outside its buttons ends it as Cancel would, unless set.
  std::atomic<int> answer_{2};
  std::string folder_;
  // The archive the file dialogs choose, the types left ticked, and what the dialogs were shown.
  std::string archive_;
  int archive_types_[5] = {1, 1, 1, 1, 1};
  std::vector<std::string> dialogs_;
  std::vector<std::pair<std::string, std::string>> properties_;
  std::function<void()> on_question_;
  int checks_ = 0, failures_ = 0;
};

int MIRADEL_CALL Demo::OnMessageBox(void* context, intptr_t, const char* text, const char* caption, unsigned int,
                                    const char* yes_label, const char*, unsigned int) {
  Demo* demo = static_cast<Demo*>(context);
  const bool retry_save = yes_label && std::string(yes_label) == "&Retry";
  // Called from the copy thread: the hook may move folders, never the host's calls.
  if (retry_save && demo->on_question_) demo->on_question_();
  std::lock_guard<std::mutex> g(demo->boxes_mu_);
  demo->boxes_.push_back(std::string(caption) + ": " + text);
  // Cancel ends a retry question; in a box without it, an answer outside its buttons counts as the
  // one that ends the question too.
  return retry_save ? demo->recovery_answer_ : demo->answer_.load();
}

int MIRADEL_CALL Demo::OnBrowse(void* context, intptr_t, const char* title, unsigned int, char* folder,
                                unsigned int capacity) {
  Demo* demo = static_cast<Demo*>(context);
  {
    std::lock_guard<std::mutex> g(demo->boxes_mu_);
    demo->boxes_.push_back(std::string("folder browser: ") + title);
  }
  if (demo->folder_.empty() || demo->folder_.size() >= capacity) return 0;
  std::memcpy(folder, demo->folder_.c_str(), demo->folder_.size() + 1);
  return 1;
}

int MIRADEL_CALL Demo::OnFileDialog(void* context, intptr_t, const char* filter, const char* extension,
                                    const char* initial_name, const char* initial_directory, unsigned int, char* path,
                                    unsigned int capacity) {
  Demo* demo = static_cast<Demo*>(context);
  demo->dialogs_.push_back(std::string("file dialog ") + filter + " ." + extension + ", starting at " + initial_name +
                           " in " + initial_directory);
  if (demo->archive_.empty() || demo->archive_.size() >= capacity) return 0;
  std::memcpy(path, demo->archive_.c_str(), demo->archive_.size() + 1);
  return 1;
}

int MIRADEL_CALL Demo::OnArchiveDialog(void* context, intptr_t, int types[5]) {
  Demo* demo = static_cast<Demo*>(context);
  std::string shown = "Archive Model, ticked:";
  for (int i = 0; i < 5; ++i) shown += types[i] ? " yes" : " no";
  demo->dialogs_.push_back(shown);
  for (int i = 0; i < 5; ++i) types[i] = demo->archive_types_[i];
  return 1;
}

int MIRADEL_CALL Demo::OnProperties(void* context, intptr_t, const MiradelFileProperties* p) {
  Demo* demo = static_cast<Demo*>(context);
  demo->properties_ = {{"Model Name", p->model_file}, {"Last Saved By", p->last_saved_by},
                       {"Model Revision", p->revision}, {"Created", p->created}, {"Modified", p->modified},
                       {"Accessed", p->accessed}, {"Location", p->location}, {"Size", p->size},
                       {"Always show", p->always_show ? "ticked" : "clear"}};
  return 1;
}

std::vector<std::string> Demo::TakeBoxes() {
  std::lock_guard<std::mutex> g(boxes_mu_);
  std::vector<std::string> shown;
  shown.swap(boxes_);
  for (const std::string& box : shown) Say("shown: " + box);
  return shown;
}

// The copy thread works on its own time: looks every 10 ms, for at most a minute.
bool WaitUntil(const std::function<bool()>& done) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1); std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    if (done()) return true;
  }
  return done();
}

bool Demo::Arrives(const std::string& path, const std::string& bytes) {
  return WaitUntil([&] {
    std::string now;
    return ReadFile(path, &now) && now == bytes;
  });
}

bool Demo::TakeAway(const std::string& dir) {
  std::error_code ec;
  fs::rename(fs::path(WithoutTrailingSeparator(dir)), fs::path(WithoutTrailingSeparator(dir) + "-gone"), ec);
  if (ec) Say("the folder cannot be moved away here (" + ec.message() + "): this step is left out");
  return !ec;
}

bool Demo::BringBack(const std::string& dir) {
  std::error_code ec;
  fs::rename(fs::path(WithoutTrailingSeparator(dir) + "-gone"), fs::path(WithoutTrailingSeparator(dir)), ec);
  return !ec;
}

bool Demo::CheckNoMessages(const std::string& during) {
  std::vector<std::string> shown;
  {
    std::lock_guard<std::mutex> g(boxes_mu_);
    shown.swap(boxes_);
  }
  for (const std::string& box : shown) Say("message box: " + box);
  return Check(shown.empty(), "no message box " + during);
}

int Demo::RunSelf(const std::vector<std::string>& args, std::string* output) {
  std::string shown = "miradel";
  for (const std::string& a : args) shown += " " + a;
  Say("$ " + shown);
  output->clear();
  int status = -1;
  // A program that says nothing at all did not get going (an emulator's start can fail): once more.
  for (int attempt = 0; attempt < 2 && output->empty(); ++attempt) {
    if (attempt > 0) Say("  (it ended without a word, status " + std::to_string(status) + "; once more)");
    std::cout.flush();
    auto child = hostkit::ChildProcess::Start(hostkit::SelfPath(), args);
    if (!child) return -1;
    // Its input ends at once: a "lock" gives its lock up again as soon as it has it.
    child->CloseInput();
    // Each line within a minute (a program's start under an emulator is slow), to the end of its output.
    bool more = true;
    while (more) {
      std::string line = child->ReadLine(60000, &more);
      if (more) *output += line + "\n";
    }
    status = child->Wait(10000);
  }
  for (const std::string& line : Lines(*output)) Say("  | " + line);
  return status;
}

bool Demo::MakeSample(const std::string& keep_dir) {
  Step("1. Sample models in a shared folder");
  std::error_code ec;
  if (keep_dir.empty()) {
    const std::string temp = platform::System().TempPath();
    for (int attempt = 0; attempt < 20 && !made_base_; ++attempt) {
      base_ = temp + "miradel-demo-" + RandomTag();
      made_base_ = fs::create_directory(fs::path(base_), ec);
    }
    if (!made_base_) {
      std::cout.flush();
      std::cerr << "miradel demo: cannot make a folder under " << temp << "\n";
      return false;
    }
  } else {
    keep_ = true;
    fs::path dir = fs::absolute(fs::path(path::ToNative(keep_dir)), ec);
    if (!ec) fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec) || !fs::is_empty(dir, ec) || ec) {
      std::cout.flush();
      std::cerr << "miradel demo: " << keep_dir << " must be a new or empty folder that can be made\n";
      return false;
    }
    base_ = dir.string();
  }
  base_ = WithoutTrailingSeparator(path::ToNative(base_)) + kSep;
  plant_ = base_ + "plant";
  valves_ = base_ + "valves" + kSep;
  if (!fs::create_directory(fs::path(plant_), ec) || !fs::create_directory(fs::path(valves_), ec)) {
    std::cout.flush();
    std::cerr << "miradel demo: cannot make the model folders under " << base_ << "\n";
    return false;
  }

  pump_out_v1_ = "PUMP P-101 SUCTION LINE - STRESS RESULTS, RUN 1\r\nMax. code stress ratio 0.62 at node 40\r\n";
  const std::string ttc = Column("TTA input") + Column("Thermal case") + Column("Profile") + Column("TTA rev") +
                          Column("TTP rev") + Column("Analysis rev") + "\r\n" +
                          CaseLine("startup.tti", "STARTUP", "ramp", 3, 1, 2) +
                          CaseLine("shutdown.tti", "SHUTDOWN", "cooldown", 1, 1, 1);
  const std::string p = plant_ + kSep;
  struct SampleFile {
    std::string path, bytes;
  } files[] = {
      {p + "pump.dat", "PUMP P-101 SUCTION LINE\r\nNODES 10 20 30 40\r\nTEMP1 180.0\r\n"},
      {p + "pump.out", pump_out_v1_},
      {p + "pump.rpt", "Code compliance report, run 1\r\n"},
      {p + "pump.ttc", ttc},
      {p + "startup.tti", "TTA input: start-up transient\r\n"},
      {p + "shutdown.tti", "TTA input: shut-down transient\r\n"},
      {p + "ramp.TTP", "Profile: 20 -> 180 C in 600 s\r\n"},
      {p + "cooldown.TTP", "Profile: 180 -> 20 C in 3600 s\r\n"},
      {p + "startup.TTO", "TTA results of the start-up transient\r\n"},
      {p + "pump.fs1", FsFile({"seismic", "relief"})},
      {p + "pump.fs2", FsFile({"wind", "seismic"})},
      {p + "seismic.spc", "Spectrum: site seismic\r\n"},
      {p + "relief.spc", "Spectrum: relief valve thrust\r\n"},
      {p + "asme.fat", "Fatigue curve: carbon steel\r\n"},
      {p + "supports.thl", "TIH LIST\r\n2\r\n          hang1    spring hanger\r\n          hang2    rigid rod\r\n"},
      {p + "hang1.tih", "Spring hanger\r\n"},
      {p + "hang2.tih", "Rigid rod\r\n"},
      // Not the model's: a name that only begins like it, and a colleague's notes.
      {p + "pumphouse.doc", "Pump house layout\r\n"},
      {p + "notes.txt", "Ask about the support at node 30\r\n"},
      {valves_ + "valve.dat", "VALVE V-7 BYPASS\r\nNODES 100 110\r\n"},
      {valves_ + "valve.cmb", "Load combinations\r\n"},
      {valves_ + "valve.out", "VALVE V-7 RESULTS, RUN 4\r\n"},
  };
  for (const SampleFile& f : files) {
    if (!WriteFile(f.path, f.bytes)) {
      std::cout.flush();
      std::cerr << "miradel demo: cannot write " << f.path << "\n";
      return false;
    }
  }
  // Results handed over read-only: the working copy must still be writable.
  SetWritable(p + "pump.rpt", false);

  Say("sample folder " + base_);
  Say("pump in " + plant_ + ": " + Join(FileNamesIn(plant_)));
  Say("  pump.ttc names the TTA inputs startup.tti and shutdown.tti with the profiles ramp and cooldown;");
  Say("  pump.fs1 and pump.fs2 name the spectra seismic, relief and wind (wind.spc is missing);");
  Say("  the host lists asme.fat and en13445.fat (nowhere) as fatigue curves, and supports.thl names two TIH files;");
  Say("  pump.rpt is read-only; pumphouse.doc and notes.txt are not part of the model");
  Say("valve in " + valves_ + ": " + Join(FileNamesIn(valves_)));
  return true;
}

bool Demo::StartHost() {
  Step("2. The host starts: NW_SetSilentMode, NW_SetVersionNo, NW_GetUserName");
  // The host answers the library's questions itself; the demo records them instead of showing them.
  MiradelUiCallbacks table{};
  table.size = sizeof table;
  table.context = this;
  table.message_box = &Demo::OnMessageBox;
  table.browse_for_folder = &Demo::OnBrowse;
  table.open_file = &Demo::OnFileDialog;
  table.save_file = &Demo::OnFileDialog;
  table.archive_dialog = &Demo::OnArchiveDialog;
  table.file_properties_dialog = &Demo::OnProperties;
  Check(MiradelSetUiCallbacks(&table) == 1, "MiradelSetUiCallbacks: the demo answers any message box itself");
  int silent = 1;
  NW_SetSilentMode(&silent);
  int version = kHostVersion;
  NW_SetVersionNo(&version);
  Say("host version " + std::to_string(kHostVersion));

  char name[64] = {};
  int size = sizeof name;
  bool got = NW_GetUserName(name, &size) == 1;
  user_ = name;
  Check(got && !user_.empty(), "NW_GetUserName: " + user_);
  if (!platform::System().ComputerName(&machine_).ok()) machine_.clear();
  if (user_.size() > kLockNameChars) user_.resize(kLockNameChars);
  if (machine_.size() > kLockNameChars) machine_.resize(kLockNameChars);
  Say("machine " + machine_);
  return got;
}

bool Demo::OpenPump() {
  Step("3. Open pump: NW_GetLock, NW_SetModelDir, NW_CopyAllToTemp(0)");
  MiradelLockOwner owner{};
  int locked = GetLock(plant_, "pump", &owner);
  if (!Check(locked == 1, "NW_GetLock(" + plant_ + ", pump) = " + std::to_string(locked) + ": locked")) {
    if (owner.user_name[0])
      Say(std::string("held by ") + owner.user_name + " on " + owner.machine_name);
    return false;
  }
  holds_current_ = true;
  const std::string lock_file = plant_ + kSep + "pump.lck";
  std::string lock_text;
  Check(ReadFile(lock_file, &lock_text), "the lock file pump.lck lies beside the model");
  Check(Contains(lock_text, user_) && Contains(lock_text, machine_),
        "the lock file names " + user_ + " on " + machine_);

  int set = SetModelDir(plant_, "pump");
  if (!Check(set == 1, "NW_SetModelDir = " + std::to_string(set) + ": a new, writable working directory")) return false;
  Check(ModelDir() == plant_, "NW_GetModelDir hands the directory back as the host gave it: " + ModelDir());
  Check(CmpModels(plant_, "PUMP") == 1, "NW_CmpModels(plant, PUMP) = 1: letter case does not matter");

  int copied = CopyAllToTemp();
  Check(copied == 1, "NW_CopyAllToTemp(0) = " + std::to_string(copied));
  pump_temp_ = QVTempDir();
  Say("NW_GetQVTempDir: " + pump_temp_);
  if (!Check(DirExists(pump_temp_), "the QV temporary directory exists")) return false;
  const std::string temp_root = platform::System().TempPath();
  Check(LowerCase(pump_temp_).rfind(LowerCase(temp_root), 0) == 0, "it lies under the system temporary path " + temp_root);
  {
    // <temp>QV_<version tag>\pump_<four digits>\ : private to this opening of the model.
    fs::path leaf = fs::path(WithoutTrailingSeparator(pump_temp_));
    std::string name = leaf.filename().string(), parent = leaf.parent_path().filename().string();
    bool digits = name.size() == 9 && name.compare(0, 5, "pump_") == 0 &&
                  name.find_first_not_of("0123456789", 5) == std::string::npos;
    Check(parent.compare(0, 3, "QV_") == 0 && digits, "its name is QV_<version>" + std::string(1, kSep) +
                                                          "pump_<four random digits>: " + parent + kSep + name);
  }

  const std::set<std::string> expected = {"pump.dat",     "pump.out", "pump.rpt",     "pump.ttc",
                                          "startup.tti",  "pump.fs1", "pump.fs2",     "shutdown.tti",
                                          "ramp.ttp",     "cooldown.ttp", "startup.tto"};
  std::set<std::string> got = FileNamesIn(pump_temp_);
  Say("working copy: " + Join(got));
  Check(got == expected,
        "the model's files, the TTA inputs and profiles pump.ttc names, and startup's TTA results were copied; "
        "nothing else (no lock file, no pumphouse.doc, no notes.txt)");
  Check(IsWritable(pump_temp_ + "pump.rpt"), "the working copy of the read-only pump.rpt is writable");
  CheckNoMessages("while opening (every file the case list names was found)");
  return true;
}

bool Demo::CompanionFiles() {
  Step("4. The files pump names beside its own: NW_CpyspcFilesFS, NW_FilesListAppend, NW_fatFilesOper,\n"
       "   NW_CpyTihFilesThl, NW_CopyTTAFiles");
  auto arrived = [&](std::initializer_list<const char*> names) {
    const std::set<std::string> there = FileNamesIn(pump_temp_);
    return std::all_of(names.begin(), names.end(), [&](const char* n) { return there.count(n) == 1; });
  };
  Check(CpyspcFilesFS({1, 1}, 1) == 1 && arrived({"seismic.spc", "relief.spc"}),
        "NW_CpyspcFilesFS(fs1, fs2) = 1: both force spectrum files and the spectra seismic and relief came over");
  std::vector<std::string> boxes = TakeBoxes();
  Check(boxes.size() == 1 && Contains(boxes[0], "F2") && Contains(boxes[0], "wind.spc") && !Contains(boxes[0], "F1"),
        "one box names the missing wind.spc, in the row of pump.fs2 only");

  NW_FilesListInit();
  FilesListAppend("asme", "fat");
  FilesListAppend("en13445", "fat");
  answer_ = 6;  // Yes: go on opening the model
  const int fatigue = FatFilesOper(1, 1);
  answer_ = 2;
  Check(fatigue == 0 && arrived({"asme.fat"}), "NW_fatFilesOper(1, 1) = 0: asme.fat came over, en13445.fat is nowhere");
  boxes = TakeBoxes();
  Check(boxes.size() == 1 && Contains(boxes[0], "en13445.fat") && Contains(boxes[0], "continue opening"),
        "the user was asked whether to go on opening the model without en13445.fat, and said Yes");

  NW_FilesListInit();
  const std::string list = plant_ + kSep + "supports.thl";
  FilesListAppend(list);
  Check(NW_CpyTihFilesThl() == 1 && arrived({"hang1.tih", "hang2.tih"}),
        "NW_CpyTihFilesThl = 1: the TIH files supports.thl names came over");
  Check(StrExistinList(list) == 1 && StrExistinList("hang1.tih") == 0, "and the host's file list is as it was");
  NW_FilesListInit();

  Check(CopyTTAFiles(1) == 1 && arrived({"pump.ttc", "startup.tti", "shutdown.tti", "ramp.ttp", "cooldown.ttp", "startup.tto"}),
        "NW_CopyTTAFiles(1) = 1: the case list, its inputs and profiles, and startup's results are there");
  CheckNoMessages("while fetching the TTA files");
  return true;
}

bool Demo::WorkAndWriteBack() {
  Step("5. Work in the working copy and write back: NW_ReleasModLock, NW_SynchCpyToModel, NW_GetModLock");
  const std::string model = plant_ + kSep;
  pump_out_v2_ = pump_out_v1_ + "RUN 2 (" + user_ + "): support at node 30 moved, max. ratio 0.48 at node 20\r\n";
  pump_dat_v2_ = ContentOf(model + "pump.dat") + "SUPPORT 30 MOVED 0.5 M EAST\r\n";
  Check(WriteFile(pump_temp_ + "pump.out", pump_out_v2_) && WriteFile(pump_temp_ + "pump.dat", pump_dat_v2_),
        "the host changed pump.out and pump.dat in the working copy");
  Check(ContentOf(model + "pump.out") == pump_out_v1_,
        "the model directory still has the old pump.out: colleagues see no half-done work");

  int early = CopyToModel("pump", "dat", 0);
  Check(early == 0, "NW_SynchCpyToModel(pump, dat) = " + std::to_string(early) +
                        " while the lock holds pump.dat open: nobody, not even its holder, overwrites it");

  NW_ReleasModLock();
  Say("NW_ReleasModLock: pump.dat let go for the write-back");
  int out = CopyToModel("pump", "out", 1);
  int dat = CopyToModel("pump", "dat", 1);
  NW_GetModLock();
  Say("NW_GetModLock: pump.dat held again");
  Check(out == 1 && ContentOf(model + "pump.out") == pump_out_v2_,
        "NW_SynchCpyToModel(pump, out) = " + std::to_string(out) + ": the model directory has the new pump.out");
  Check(dat == 1 && ContentOf(model + "pump.dat") == pump_dat_v2_,
        "NW_SynchCpyToModel(pump, dat) = " + std::to_string(dat) + ": and the new pump.dat");
  Check(NW_CheckLock() == 1, "NW_CheckLock = 1: the lock is still held");
  CheckNoMessages("while writing back");
  return true;
}

bool Demo::SecondProcess() {
  Step("6. A second process wants pump while it is open");
  std::string output;
  int status = RunSelf({"lock", plant_, "pump"}, &output);
  Check(status != 0, "the second process was refused and ended with a failure status");
  Check(Contains(output, "refused: pump is locked by " + user_ + " on " + machine_),
        "it was told who holds the lock: " + user_ + " on " + machine_);

  status = RunSelf({"who", plant_, "pump"}, &output);
  Check(status == 0 && Contains(output, user_) && Contains(output, machine_) && Contains(output, "temporary"),
        "miradel who names the holder and a temporary lock");
  Check(Contains(output, "held open now by a running holder"), "and sees that the holder has it open now");
  return true;
}

bool Demo::SwitchToValve() {
  Step("7. Switch to valve: NW_GetLock, NW_SetModelDir, NW_CopyAllToTemp, NW_RelesOldLock");
  MiradelLockOwner owner{};
  int locked = GetLock(valves_, "valve", &owner);
  if (!Check(locked == 1, "NW_GetLock(" + valves_ + ", valve) = " + std::to_string(locked))) return false;
  holds_previous_ = true;
  int set = SetModelDir(valves_, "valve");
  if (!Check(set == 1, "NW_SetModelDir(valve) = " + std::to_string(set))) return false;
  Check(ModelDir() == valves_, "NW_GetModelDir keeps the trailing separator the host gave: " + ModelDir());
  int copied = CopyAllToTemp();
  Check(copied == 1, "NW_CopyAllToTemp(0) = " + std::to_string(copied));
  valve_temp_ = QVTempDir();
  Say("NW_GetQVTempDir: " + valve_temp_);
  Check(valve_temp_ != pump_temp_ && FileNamesIn(valve_temp_) == std::set<std::string>{"valve.cmb", "valve.dat",
                                                                                         "valve.out"},
        "valve has a working directory of its own with valve.cmb, valve.dat, valve.out");
  Check(FileExists(plant_ + kSep + "pump.lck") && DirExists(pump_temp_),
        "until the host lets go, pump stays locked and its working copy stays");

  NW_RelesOldLock();
  holds_previous_ = false;
  Say("NW_RelesOldLock");
  Check(!FileExists(plant_ + kSep + "pump.lck"), "pump's lock file is gone");
  Check(!DirExists(pump_temp_), "pump's working directory is gone");
  Check(CmpModels(valves_, "valve") == 1 && CmpModels(plant_, "pump") == 0, "NW_CmpModels: valve is the open model");
  Check(FileExists(valves_ + "valve.lck"), "valve is locked");

  std::string output;
  int status = RunSelf({"lock", plant_, "pump"}, &output);
  Check(status == 0 && Contains(output, "locked ") && Contains(output, "released"),
        "pump is free again: a second process takes its lock and lets it go");
  Check(!FileExists(plant_ + kSep + "pump.lck"), "and removes the lock file when it lets go");
  CheckNoMessages("while switching models");
  return true;
}

bool Demo::OpenPumpAndGoBack() {
  Step("8. Open pump again, then give up and go back to valve: NW_GetOldModel(0)");
  MiradelLockOwner owner{};
  int locked = GetLock(plant_, "pump", &owner);
  if (!Check(locked == 1, "NW_GetLock(pump) = " + std::to_string(locked))) return false;
  holds_previous_ = true;
  int set = SetModelDir(plant_, "pump");
  if (!Check(set == 1, "NW_SetModelDir(pump) = " + std::to_string(set))) return false;
  int copied = CopyAllToTemp();
  const std::string new_temp = QVTempDir();
  Say("NW_GetQVTempDir: " + new_temp);
  Check(copied == 1 && ContentOf(new_temp + "pump.out") == pump_out_v2_,
        "NW_CopyAllToTemp(0) = " + std::to_string(copied) + ": the new working copy has the written-back pump.out");

  int keep_lock = 0;
  NW_GetOldModel(&keep_lock);
  holds_previous_ = false;
  Say("NW_GetOldModel(0)");
  Check(!FileExists(plant_ + kSep + "pump.lck"), "pump's lock is released, its lock file gone");
  Check(!DirExists(new_temp), "pump's new working directory was removed");
  Check(QVTempDir() == valve_temp_ && DirExists(valve_temp_), "NW_GetQVTempDir is valve's working directory again");
  Check(ModelDir() == valves_ && CmpModels(valves_, "valve") == 1, "NW_GetModelDir and NW_CmpModels: valve is open");
  Check(FileExists(valves_ + "valve.lck") && NW_CheckLock() == 1, "NW_CheckLock = 1: valve's lock holds");
  CheckNoMessages("while going back");
  return true;
}

bool Demo::Close() {
  Step("9. Close: NW_ReleaseLock");
  NW_ReleaseLock();
  holds_current_ = false;
  Check(!FileExists(valves_ + "valve.lck"), "valve's lock file is gone");
  Check(!DirExists(valve_temp_), "valve's working directory is gone");
  Check(ContentOf(plant_ + kSep + "pump.out") == pump_out_v2_, "the model directory keeps the written-back pump.out");
  CheckNoMessages("while closing");
  return true;
}

bool Demo::BackgroundWriteBack() {
  Step("10. Open pump again and write back in the background: NW_ASynchCopy, NW_ASynchCopyExt, NW_AsynchCpyMdlFl,\n"
       "   NW_ASynchDelete, NW_EnqueueAndCopyFile, NW_SpndWaitThrd, NW_CopyModelFrmTmp");
  MiradelLockOwner owner{};
  if (!Check(GetLock(plant_, "pump", &owner) == 1 && SetModelDir(plant_, "pump") == 1 && CopyAllToTemp() == 1,
             "pump is open again (NW_GetLock, NW_SetModelDir, NW_CopyAllToTemp)"))
    return false;
  holds_current_ = true;
  pump_temp_ = QVTempDir();
  const std::string model = plant_ + kSep;
  const std::string out = pump_out_v2_ + "RUN 3: hanger at node 10 stiffened\r\n";
  const std::string sum = "Summary of run 3\r\n";
  const std::string chk = "Check of run 3: passed\r\n";
  int park = 0, resume = 1;
  NW_SpndWaitThrd(&park);
  Say("NW_SpndWaitThrd(0): the copy thread waits, so that the requests can be looked at");
  WriteFile(pump_temp_ + "pump.out", out);
  WriteFile(pump_temp_ + "pump.sum", sum);
  WriteFile(pump_temp_ + "pump.chk", chk);
  Say("the host changed pump.out and made pump.sum and pump.chk in the working copy");
  AsynchCpyMdlFl("out");
  ASynchCopyExt("sum");
  ASynchDelete("no-such-file.txt");
  Check(EnqueueAndCopyFile(pump_temp_ + "pump.chk") == 1 && EnqueueAndCopyFile(pump_temp_ + "PUMP.CHK") == 0,
        "NW_EnqueueAndCopyFile: pump.chk queued once; the same file in other letters is refused while it waits");
  Check(ContentOf(model + "pump.out") == pump_out_v2_, "nothing was written while the thread waits");
  NW_SpndWaitThrd(&resume);
  Say("NW_SpndWaitThrd(1)");
  Check(Arrives(model + "pump.out", out) && Arrives(model + "pump.sum", sum),
        "NW_AsynchCpyMdlFl(out) and NW_ASynchCopyExt(sum): pump.out and pump.sum arrived");
  Check(Arrives(model + "pump.chk", chk), "NW_EnqueueAndCopyFile: pump.chk arrived");
  std::error_code ec;
  fs::remove(fs::path(pump_temp_ + "pump.chk"), ec);
  ASynchCopy("pump.chk", "");
  Say("the host removed pump.chk from the working copy again: NW_ASynchCopy(pump.chk)");
  Check(WaitUntil([&] { return !FileExists(model + "pump.chk"); }),
        "NW_ASynchCopy of a file the host removed: removed in the model too");
  pump_dat_v2_ += "HANGER 10 STIFFENED\r\n";
  WriteFile(pump_temp_ + "pump.dat", pump_dat_v2_);
  int written = NW_CopyModelFrmTmp();
  Check(written == 1 && ContentOf(model + "pump.dat") == pump_dat_v2_,
        "NW_CopyModelFrmTmp = " + std::to_string(written) + ": the model's data file written back at once");
  Check(NW_CheckLock() == 1, "the lock still holds");
  pump_out_v2_ = out;
  return CheckNoMessages("during the background write-back");
}

bool Demo::ShareComesBack() {
  Step("11. The share goes away while a write-back waits, and comes back: Retry");
  const std::string out = pump_out_v2_ + "RUN 4\r\n";
  if (!TakeAway(plant_)) return true;
  Say(plant_ + " is gone (moved away), as a share that vanished");
  int questions = 0;
  recovery_answer_ = 6;  // Retry
  on_question_ = [&] {
    // The first Retry finds it still gone; before the second it is back.
    if (++questions == 2) BringBack(plant_);
  };
  WriteFile(pump_temp_ + "pump.out", out);
  AsynchCpyMdlFl("out");
  bool arrived = Arrives(plant_ + kSep + "pump.out", out);
  on_question_ = nullptr;
  if (!arrived) BringBack(plant_);
  std::vector<std::string> shown = TakeBoxes();
  Check(questions == 2 && !shown.empty() && Contains(shown.front(), "Unable to update model \" pump \" data files"),
        "the copy thread asked to retry or save, naming pump; Retry while it was gone asked again");
  Check(arrived, "Retry once it was back: the waiting pump.out arrived");
  pump_out_v2_ = out;
  return true;
}

bool Demo::SavedElsewhere() {
  Step("12. The share goes away for good: Save, and a new folder");
  const std::string moved = base_ + "plant-moved";
  std::error_code ec;
  fs::create_directory(fs::path(moved), ec);
  if (!TakeAway(plant_)) return true;
  recovery_answer_ = 7;  // Save
  folder_ = moved;
  const std::string out = pump_out_v2_ + "RUN 5\r\n";
  WriteFile(pump_temp_ + "pump.out", out);
  AsynchCpyMdlFl("out");
  // The move ends with its message; until then the files are still on their way.
  const bool told = WaitUntil([&] {
    std::lock_guard<std::mutex> g(boxes_mu_);
    return std::any_of(boxes_.begin(), boxes_.end(),
                       [](const std::string& box) { return Contains(box, "Model was successfully saved at new location"); });
  });
  recovery_answer_ = 6;
  folder_.clear();
  TakeBoxes();
  Check(told, "the user was told the model was saved at the new location");
  Check(ContentOf(moved + kSep + "pump.out") == out, "the working copy went to " + moved + ", with the waiting change");
  Check(FileNamesIn(moved) == [&] {
          std::set<std::string> names = FileNamesIn(pump_temp_);
          names.insert("pump.lck");
          return names;
        }(),
        "all of the working copy and the lock are there: " + Join(FileNamesIn(moved)));
  Check(ModelDir() == moved, "NW_GetModelDir now answers the new folder: " + ModelDir());
  BringBack(plant_);
  const std::string later = out + "RUN 6\r\n";
  WriteFile(pump_temp_ + "pump.out", later);
  AsynchCpyMdlFl("out");
  Check(Arrives(moved + kSep + "pump.out", later) && ContentOf(plant_ + kSep + "pump.out") == pump_out_v2_,
        "later write-backs land in the new folder, not in the old one");
  pump_out_v2_ = later;
  moved_ = moved;
  return true;
}

bool Demo::SaveAsSteps() {
  Step("13. Save As pump2 in another folder: NW_SetModelVars, NW_GetLock, NW_SetModelDir, NW_SaveAs(0)");
  const std::string plant2 = base_ + "plant2";
  std::error_code ec;
  fs::create_directory(fs::path(plant2), ec);
  NW_SetModelVars();
  MiradelLockOwner owner{};
  if (!Check(GetLock(plant2, "pump2", &owner) == 1 && SetModelDir(plant2, "pump2") == 1,
             "pump2 is locked in " + plant2 + " with a working directory of its own"))
    return false;
  holds_previous_ = true;
  std::string none;
  int saved = SaveAs(0, &none, "", &owner);
  Check(saved == 1, "NW_SaveAs(0) = " + std::to_string(saved));
  Check(ContentOf(plant2 + kSep + "pump2.dat") == pump_dat_v2_ && ContentOf(plant2 + kSep + "pump2.out") == pump_out_v2_,
        "pump2.dat and pump2.out in " + plant2 + " hold pump's latest work: " + Join(FileNamesIn(plant2)));
  NW_RelesOldLock();
  holds_previous_ = false;
  Check(!FileExists(moved_ + kSep + "pump.lck"), "NW_RelesOldLock: pump is free again");

  Step("14. Read-only Save As into a folder the user picks: NW_SaveAs(1)");
  const std::string copy = base_ + "plant-copy";
  fs::create_directory(fs::path(copy), ec);
  folder_ = copy;
  std::string dir = plant2;
  saved = SaveAs(1, &dir, "pump2", &owner);
  folder_.clear();
  Check(saved == 1 && dir == copy, "NW_SaveAs(1) = " + std::to_string(saved) + ", the new folder handed back: " + dir);
  Check(FileExists(copy + kSep + "pump2.dat") && FileExists(copy + kSep + "pump2.lck"),
        "the model was copied there and is locked there: " + Join(FileNamesIn(copy)));
  Check(SetModelDir(dir, "pump2") == 1 && CopyAllToTemp() == 1,
        "the host works on there (NW_SetModelDir, NW_CopyAllToTemp), as after any Save As");
  TakeBoxes();
  return true;
}

bool Demo::ArchiveSteps() {
  Step("15. Archive pump2 without its reports: NW_ArchiveModel");
  const std::string folder = base_ + "archives";
  std::error_code ec;
  fs::create_directory(fs::path(folder), ec);
  archive_ = folder + kSep + "pump2_Archive.QVC";
  const int reports = 2;
  archive_types_[reports] = 0;
  dialogs_.clear();
  Check(NW_ArchiveModel() == 1, "NW_ArchiveModel = 1");
  for (const std::string& d : dialogs_) Say("shown: " + d);
  Check(dialogs_.size() == 2 && Contains(dialogs_[0], "pump2_Archive in ") &&
            dialogs_[1] == "Archive Model, ticked: yes yes yes yes yes",
        "the save dialog starts at pump2_Archive, then every type is ticked; the demo clears Reports");
  const std::vector<std::string> boxes = TakeBoxes();
  Check(boxes.size() == 1 && boxes[0] == "Archive Model: Model has been successfully archived.",
        "one message: the model is archived");
  Check(FileExists(archive_), "the archive " + archive_ + " exists");

  Step("16. Unpack it and open pump2 from there: NW_OpenArchive; close (NW_ReleaseLock, NW_RelesOldLock); NW_GetLock,\n"
       "    NW_SetModelDir, NW_CopyAllToTemp");
  char dir[260] = {}, name[260] = {};
  int status = -1;
  NW_OpenArchive(dir, name, &status);
  const std::string unpacked = folder + kSep + "pump2_Archive";
  Check(status == 0 && dir == unpacked && std::string(name) == "pump2",
        "NW_OpenArchive: status " + std::to_string(status) + ", directory " + dir + ", model " + name);
  // A share's client may list a deleted name for a moment longer: the unpacker's temporary files.
  std::set<std::string> files;
  WaitUntil([&] {
    files = FileNamesIn(unpacked);
    for (const std::string& f : files)
      if (f.rfind("~miradel-", 0) == 0) return false;
    return true;
  });
  const std::string copy = base_ + "plant-copy";
  bool same = files.count("pump2.dat") == 1;
  for (const std::string& f : files) same = same && ContentOf(unpacked + kSep + f) == ContentOf(copy + kSep + f);
  Check(same && files.count("pump2.out") == 0 && files.count("pump2.rpt") == 0 && files.count("pump2.lck") == 0,
        "the model's files but its reports came out as they were: " + Join(files));
  NW_ReleaseLock();
  NW_RelesOldLock();
  holds_current_ = holds_previous_ = false;
  MiradelLockOwner owner{};
  const bool opened = GetLock(unpacked, "pump2", &owner) == 1;
  holds_current_ = opened;
  Check(opened && SetModelDir(unpacked, "pump2") == 1 && CopyAllToTemp() == 1,
        "pump2 opens from the unpacked folder, locked there");

  Step("17. The properties of pump2.dat: NW_ShowFPDialog");
  char model_file[256];
  std::memset(model_file, ' ', sizeof model_file);
  std::memcpy(model_file, "pump2.dat", 9);
  int always_show = 0, revision = 7;
  const int shown = NW_ShowFPDialog(model_file, user_.c_str(), &always_show, &revision);
  for (const auto& [field, value] : properties_) Say(field + ": " + value);
  const std::string size = std::to_string(ContentOf(unpacked + kSep + "pump2.dat").size());
  auto field = [&](const std::string& f) {
    for (const auto& [k, v] : properties_) if (k == f) return v;
    return std::string();
  };
  Check(field("Model Name") == "pump2.dat" && field("Last Saved By") == user_ && field("Model Revision") == "7" &&
            field("Size") == size + " bytes (" + size + " bytes)" && field("Location") == unpacked,
        "the dialog shows the file, who saved it, its revision, folder and size");
  Check(field("Modified").rfind("Today, ", 0) == 0, "it was modified today: " + field("Modified"));
  Check(shown == 1, "closed with Close and the box ticked, NW_ShowFPDialog = 1: the host shows it next time too");
  return CheckNoMessages("while archiving");
}

bool Demo::CloseAll() {
  Step("18. Close: NW_ReleaseLock, NW_RelesOldLock");
  NW_ReleaseLock();
  NW_RelesOldLock();
  holds_current_ = holds_previous_ = false;
  std::string left;
  for (const std::string& dir : {moved_, base_ + "plant2", base_ + "plant-copy", base_ + "archives" + kSep + "pump2_Archive"})
    for (const std::string& name : FileNamesIn(dir))
      if (name.find(".lck") != std::string::npos) left += " " + dir + kSep + name;
  Check(left.empty(), "no lock file is left where the model went" + left);
  if (FileExists(plant_ + kSep + "pump.lck"))
    Say("the old folder keeps a pump.lck nobody holds: it was gone when the lock moved; anyone may take it over");
  return CheckNoMessages("while closing");
}

void Demo::LetGoOfEverything() {
  if (holds_previous_) NW_RelesOldLock();
  if (holds_current_) NW_ReleaseLock();
  holds_previous_ = holds_current_ = false;
}

void Demo::RemoveSample() {
  if (!made_base_ || keep_) return;
  SetWritable(plant_ + kSep + "pump.rpt", true);
  std::error_code ec;
  fs::remove_all(fs::path(WithoutTrailingSeparator(base_)), ec);
  if (ec) std::cout << "   (the sample folder " << base_ << " could not be removed: " << ec.message() << ")\n";
}

int Demo::Run(const std::string& keep_dir) {
  std::cout << "miradel demo: a host opens a shared model, works on it, writes back and closes it\n";
  if (!MakeSample(keep_dir)) {
    RemoveSample();
    return 2;
  }
  bool finished = StartHost() && OpenPump() && CompanionFiles() && WorkAndWriteBack() && SecondProcess() && SwitchToValve() &&
                  OpenPumpAndGoBack() && Close() && BackgroundWriteBack() && ShareComesBack() && SavedElsewhere() &&
                  SaveAsSteps() && ArchiveSteps() && CloseAll();
  if (!finished) {
    std::cout << "\n   stopping here: the steps that follow need this one\n";
    LetGoOfEverything();
  }
  // The table's context is this object, which is about to go.
  MiradelSetUiCallbacks(nullptr);
  if (keep_) std::cout << "\nthe sample models stay in " << base_ << "\n";
  RemoveSample();
  std::cout << "\n" << checks_ << " checks, " << failures_ << " failed" << (finished ? "" : ", demo cut short")
            << "\n";
  std::cout << (failures_ == 0 && finished ? "demo: all checks passed" : "demo: FAILED") << std::endl;
  return failures_ == 0 && finished ? 0 : 1;
}

}  // namespace

int RunDemo(const std::string& keep_dir) {
  Demo demo;
  return demo.Run(keep_dir);
}

}  // namespace miradel::tools
