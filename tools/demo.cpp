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
    ++m_checks;
    if (!ok) ++m_failures;
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
  // Both file dialogs answer m_archive; each call is recorded with its initial name and directory.
  static int MIRADEL_CALL OnFileDialog(void* context, intptr_t owner, const char* filter, const char* extension,
                                       const char* initial_name, const char* initial_directory, unsigned int options,
                                       char* path, unsigned int capacity);
  // Leaves what m_archiveTypes says ticked and presses OK.
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
  std::string m_base, m_plant, m_valves;
  // Where pump lives after it was saved elsewhere.
  std::string m_moved;
  bool m_keep = false;
  bool m_madeBase = false;
  std::string m_pumpOutV1, m_pumpOutV2, m_pumpDatV2;
  std::string m_user, m_machine;
  std::string m_pumpTemp, m_valveTemp;
  // What the host holds, so that a demo cut short still lets go of it.
  bool m_holdsCurrent = false, m_holdsPrevious = false;

  std::mutex m_boxesMu;
  std::vector<std::string> m_boxes;
  // How the demo's user answers: the Retry/Save question (IDYES Retry, IDNO Save), and the folder
  // the browser hands back ("" cancels). The hook runs on each question before it is answered.
  int m_recoveryAnswer = 6;
  // Any other question: an answer outside its buttons ends it as Cancel would, unless set.
  std::atomic<int> m_answer{2};
  std::string m_folder;
  // The archive the file dialogs choose, the types left ticked, and what the dialogs were shown.
  std::string m_archive;
  int m_archiveTypes[5] = {1, 1, 1, 1, 1};
  std::vector<std::string> m_dialogs;
  std::vector<std::pair<std::string, std::string>> m_properties;
  std::function<void()> m_onQuestion;
  int m_checks = 0, m_failures = 0;
};

int MIRADEL_CALL Demo::OnMessageBox(void* context, intptr_t, const char* text, const char* caption, unsigned int,
                                    const char* yes_label, const char*, unsigned int) {
  Demo* demo = static_cast<Demo*>(context);
  const bool retry_save = yes_label && std::string(yes_label) == "&Retry";
  // Called from the copy thread: the hook may move folders, never the host's calls.
  if (retry_save && demo->m_onQuestion) demo->m_onQuestion();
  std::lock_guard<std::mutex> g(demo->m_boxesMu);
  demo->m_boxes.push_back(std::string(caption) + ": " + text);
  // Cancel ends a retry question; in a box without it, an answer outside its buttons counts as the
  // one that ends the question too.
  return retry_save ? demo->m_recoveryAnswer : demo->m_answer.load();
}

int MIRADEL_CALL Demo::OnBrowse(void* context, intptr_t, const char* title, unsigned int, char* folder,
                                unsigned int capacity) {
  Demo* demo = static_cast<Demo*>(context);
  {
    std::lock_guard<std::mutex> g(demo->m_boxesMu);
    demo->m_boxes.push_back(std::string("folder browser: ") + title);
  }
  if (demo->m_folder.empty() || demo->m_folder.size() >= capacity) return 0;
  std::memcpy(folder, demo->m_folder.c_str(), demo->m_folder.size() + 1);
  return 1;
}

int MIRADEL_CALL Demo::OnFileDialog(void* context, intptr_t, const char* filter, const char* extension,
                                    const char* initial_name, const char* initial_directory, unsigned int, char* path,
                                    unsigned int capacity) {
  Demo* demo = static_cast<Demo*>(context);
  demo->m_dialogs.push_back(std::string("file dialog ") + filter + " ." + extension + ", starting at " + initial_name +
                           " in " + initial_directory);
  if (demo->m_archive.empty() || demo->m_archive.size() >= capacity) return 0;
  std::memcpy(path, demo->m_archive.c_str(), demo->m_archive.size() + 1);
  return 1;
}

int MIRADEL_CALL Demo::OnArchiveDialog(void* context, intptr_t, int types[5]) {
  Demo* demo = static_cast<Demo*>(context);
  std::string shown = "Archive Model, ticked:";
  for (int i = 0; i < 5; ++i) shown += types[i] ? " yes" : " no";
  demo->m_dialogs.push_back(shown);
  for (int i = 0; i < 5; ++i) types[i] = demo->m_archiveTypes[i];
  return 1;
}

int MIRADEL_CALL Demo::OnProperties(void* context, intptr_t, const MiradelFileProperties* p) {
  Demo* demo = static_cast<Demo*>(context);
  demo->m_properties = {{"Model Name", p->model_file}, {"Last Saved By", p->last_saved_by},
                       {"Model Revision", p->revision}, {"Created", p->created}, {"Modified", p->modified},
                       {"Accessed", p->accessed}, {"Location", p->location}, {"Size", p->size},
                       {"Always show", p->always_show ? "ticked" : "clear"}};
  return 1;
}

std::vector<std::string> Demo::TakeBoxes() {
  std::lock_guard<std::mutex> g(m_boxesMu);
  std::vector<std::string> shown;
  shown.swap(m_boxes);
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
    std::lock_guard<std::mutex> g(m_boxesMu);
    shown.swap(m_boxes);
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
    for (int attempt = 0; attempt < 20 && !m_madeBase; ++attempt) {
      m_base = temp + "miradel-demo-" + RandomTag();
      m_madeBase = fs::create_directory(fs::path(m_base), ec);
    }
    if (!m_madeBase) {
      std::cout.flush();
      std::cerr << "miradel demo: cannot make a folder under " << temp << "\n";
      return false;
    }
  } else {
    m_keep = true;
    fs::path dir = fs::absolute(fs::path(path::ToNative(keep_dir)), ec);
    if (!ec) fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec) || !fs::is_empty(dir, ec) || ec) {
      std::cout.flush();
      std::cerr << "miradel demo: " << keep_dir << " must be a new or empty folder that can be made\n";
      return false;
    }
    m_base = dir.string();
  }
  m_base = WithoutTrailingSeparator(path::ToNative(m_base)) + kSep;
  m_plant = m_base + "plant";
  m_valves = m_base + "valves" + kSep;
  if (!fs::create_directory(fs::path(m_plant), ec) || !fs::create_directory(fs::path(m_valves), ec)) {
    std::cout.flush();
    std::cerr << "miradel demo: cannot make the model folders under " << m_base << "\n";
    return false;
  }

  m_pumpOutV1 = "PUMP P-101 SUCTION LINE - STRESS RESULTS, RUN 1\r\nMax. code stress ratio 0.62 at node 40\r\n";
  const std::string ttc = Column("TTA input") + Column("Thermal case") + Column("Profile") + Column("TTA rev") +
                          Column("TTP rev") + Column("Analysis rev") + "\r\n" +
                          CaseLine("startup.tti", "STARTUP", "ramp", 3, 1, 2) +
                          CaseLine("shutdown.tti", "SHUTDOWN", "cooldown", 1, 1, 1);
  const std::string p = m_plant + kSep;
  struct SampleFile {
    std::string path, bytes;
  } files[] = {
      {p + "pump.dat", "PUMP P-101 SUCTION LINE\r\nNODES 10 20 30 40\r\nTEMP1 180.0\r\n"},
      {p + "pump.out", m_pumpOutV1},
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
      {m_valves + "valve.dat", "VALVE V-7 BYPASS\r\nNODES 100 110\r\n"},
      {m_valves + "valve.cmb", "Load combinations\r\n"},
      {m_valves + "valve.out", "VALVE V-7 RESULTS, RUN 4\r\n"},
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

  Say("sample folder " + m_base);
  Say("pump in " + m_plant + ": " + Join(FileNamesIn(m_plant)));
  Say("  pump.ttc names the TTA inputs startup.tti and shutdown.tti with the profiles ramp and cooldown;");
  Say("  pump.fs1 and pump.fs2 name the spectra seismic, relief and wind (wind.spc is missing);");
  Say("  the host lists asme.fat and en13445.fat (nowhere) as fatigue curves, and supports.thl names two TIH files;");
  Say("  pump.rpt is read-only; pumphouse.doc and notes.txt are not part of the model");
  Say("valve in " + m_valves + ": " + Join(FileNamesIn(m_valves)));
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
  m_user = name;
  Check(got && !m_user.empty(), "NW_GetUserName: " + m_user);
  if (!platform::System().ComputerName(&m_machine).ok()) m_machine.clear();
  if (m_user.size() > kLockNameChars) m_user.resize(kLockNameChars);
  if (m_machine.size() > kLockNameChars) m_machine.resize(kLockNameChars);
  Say("machine " + m_machine);
  return got;
}

bool Demo::OpenPump() {
  Step("3. Open pump: NW_GetLock, NW_SetModelDir, NW_CopyAllToTemp(0)");
  MiradelLockOwner owner{};
  int locked = GetLock(m_plant, "pump", &owner);
  if (!Check(locked == 1, "NW_GetLock(" + m_plant + ", pump) = " + std::to_string(locked) + ": locked")) {
    if (owner.user_name[0])
      Say(std::string("held by ") + owner.user_name + " on " + owner.machine_name);
    return false;
  }
  m_holdsCurrent = true;
  const std::string lock_file = m_plant + kSep + "pump.lck";
  std::string lock_text;
  Check(ReadFile(lock_file, &lock_text), "the lock file pump.lck lies beside the model");
  Check(Contains(lock_text, m_user) && Contains(lock_text, m_machine),
        "the lock file names " + m_user + " on " + m_machine);

  int set = SetModelDir(m_plant, "pump");
  if (!Check(set == 1, "NW_SetModelDir = " + std::to_string(set) + ": a new, writable working directory")) return false;
  Check(ModelDir() == m_plant, "NW_GetModelDir hands the directory back as the host gave it: " + ModelDir());
  Check(CmpModels(m_plant, "PUMP") == 1, "NW_CmpModels(plant, PUMP) = 1: letter case does not matter");

  int copied = CopyAllToTemp();
  Check(copied == 1, "NW_CopyAllToTemp(0) = " + std::to_string(copied));
  m_pumpTemp = QVTempDir();
  Say("NW_GetQVTempDir: " + m_pumpTemp);
  if (!Check(DirExists(m_pumpTemp), "the QV temporary directory exists")) return false;
  const std::string temp_root = platform::System().TempPath();
  Check(LowerCase(m_pumpTemp).rfind(LowerCase(temp_root), 0) == 0, "it lies under the system temporary path " + temp_root);
  {
    // <temp>QV_<version tag>\m_pump<four digits>\ : private to this opening of the model.
    fs::path leaf = fs::path(WithoutTrailingSeparator(m_pumpTemp));
    std::string name = leaf.filename().string(), parent = leaf.parent_path().filename().string();
    bool digits = name.size() == 9 && name.compare(0, 5, "pump_") == 0 &&
                  name.find_first_not_of("0123456789", 5) == std::string::npos;
    Check(parent.compare(0, 3, "QV_") == 0 && digits, "its name is QV_<version>" + std::string(1, kSep) +
                                                          "pump_<four random digits>: " + parent + kSep + name);
  }

  const std::set<std::string> expected = {"pump.dat",     "pump.out", "pump.rpt",     "pump.ttc",
                                          "startup.tti",  "pump.fs1", "pump.fs2",     "shutdown.tti",
                                          "ramp.ttp",     "cooldown.ttp", "startup.tto"};
  std::set<std::string> got = FileNamesIn(m_pumpTemp);
  Say("working copy: " + Join(got));
  Check(got == expected,
        "the model's files, the TTA inputs and profiles pump.ttc names, and startup's TTA results were copied; "
        "nothing else (no lock file, no pumphouse.doc, no notes.txt)");
  Check(IsWritable(m_pumpTemp + "pump.rpt"), "the working copy of the read-only pump.rpt is writable");
  CheckNoMessages("while opening (every file the case list names was found)");
  return true;
}

bool Demo::CompanionFiles() {
  Step("4. The files pump names beside its own: NW_CpyspcFilesFS, NW_FilesListAppend, NW_fatFilesOper,\n"
       "   NW_CpyTihFilesThl, NW_CopyTTAFiles");
  auto arrived = [&](std::initializer_list<const char*> names) {
    const std::set<std::string> there = FileNamesIn(m_pumpTemp);
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
  m_answer = 6;  // Yes: go on opening the model
  const int fatigue = FatFilesOper(1, 1);
  m_answer = 2;
  Check(fatigue == 0 && arrived({"asme.fat"}), "NW_fatFilesOper(1, 1) = 0: asme.fat came over, en13445.fat is nowhere");
  boxes = TakeBoxes();
  Check(boxes.size() == 1 && Contains(boxes[0], "en13445.fat") && Contains(boxes[0], "continue opening"),
        "the user was asked whether to go on opening the model without en13445.fat, and said Yes");

  NW_FilesListInit();
  const std::string list = m_plant + kSep + "supports.thl";
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
  const std::string model = m_plant + kSep;
  m_pumpOutV2 = m_pumpOutV1 + "RUN 2 (" + m_user + "): support at node 30 moved, max. ratio 0.48 at node 20\r\n";
  m_pumpDatV2 = ContentOf(model + "pump.dat") + "SUPPORT 30 MOVED 0.5 M EAST\r\n";
  Check(WriteFile(m_pumpTemp + "pump.out", m_pumpOutV2) && WriteFile(m_pumpTemp + "pump.dat", m_pumpDatV2),
        "the host changed pump.out and pump.dat in the working copy");
  Check(ContentOf(model + "pump.out") == m_pumpOutV1,
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
  Check(out == 1 && ContentOf(model + "pump.out") == m_pumpOutV2,
        "NW_SynchCpyToModel(pump, out) = " + std::to_string(out) + ": the model directory has the new pump.out");
  Check(dat == 1 && ContentOf(model + "pump.dat") == m_pumpDatV2,
        "NW_SynchCpyToModel(pump, dat) = " + std::to_string(dat) + ": and the new pump.dat");
  Check(NW_CheckLock() == 1, "NW_CheckLock = 1: the lock is still held");
  CheckNoMessages("while writing back");
  return true;
}

bool Demo::SecondProcess() {
  Step("6. A second process wants pump while it is open");
  std::string output;
  int status = RunSelf({"lock", m_plant, "pump"}, &output);
  Check(status != 0, "the second process was refused and ended with a failure status");
  Check(Contains(output, "refused: pump is locked by " + m_user + " on " + m_machine),
        "it was told who holds the lock: " + m_user + " on " + m_machine);

  status = RunSelf({"who", m_plant, "pump"}, &output);
  Check(status == 0 && Contains(output, m_user) && Contains(output, m_machine) && Contains(output, "temporary"),
        "miradel who names the holder and a temporary lock");
  Check(Contains(output, "held open now by a running holder"), "and sees that the holder has it open now");
  return true;
}

bool Demo::SwitchToValve() {
  Step("7. Switch to valve: NW_GetLock, NW_SetModelDir, NW_CopyAllToTemp, NW_RelesOldLock");
  MiradelLockOwner owner{};
  int locked = GetLock(m_valves, "valve", &owner);
  if (!Check(locked == 1, "NW_GetLock(" + m_valves + ", valve) = " + std::to_string(locked))) return false;
  m_holdsPrevious = true;
  int set = SetModelDir(m_valves, "valve");
  if (!Check(set == 1, "NW_SetModelDir(valve) = " + std::to_string(set))) return false;
  Check(ModelDir() == m_valves, "NW_GetModelDir keeps the trailing separator the host gave: " + ModelDir());
  int copied = CopyAllToTemp();
  Check(copied == 1, "NW_CopyAllToTemp(0) = " + std::to_string(copied));
  m_valveTemp = QVTempDir();
  Say("NW_GetQVTempDir: " + m_valveTemp);
  Check(m_valveTemp != m_pumpTemp && FileNamesIn(m_valveTemp) == std::set<std::string>{"valve.cmb", "valve.dat",
                                                                                         "valve.out"},
        "valve has a working directory of its own with valve.cmb, valve.dat, valve.out");
  Check(FileExists(m_plant + kSep + "pump.lck") && DirExists(m_pumpTemp),
        "until the host lets go, pump stays locked and its working copy stays");

  NW_RelesOldLock();
  m_holdsPrevious = false;
  Say("NW_RelesOldLock");
  Check(!FileExists(m_plant + kSep + "pump.lck"), "pump's lock file is gone");
  Check(!DirExists(m_pumpTemp), "pump's working directory is gone");
  Check(CmpModels(m_valves, "valve") == 1 && CmpModels(m_plant, "pump") == 0, "NW_CmpModels: valve is the open model");
  Check(FileExists(m_valves + "valve.lck"), "valve is locked");

  std::string output;
  int status = RunSelf({"lock", m_plant, "pump"}, &output);
  Check(status == 0 && Contains(output, "locked ") && Contains(output, "released"),
        "pump is free again: a second process takes its lock and lets it go");
  Check(!FileExists(m_plant + kSep + "pump.lck"), "and removes the lock file when it lets go");
  CheckNoMessages("while switching models");
  return true;
}

bool Demo::OpenPumpAndGoBack() {
  Step("8. Open pump again, then give up and go back to valve: NW_GetOldModel(0)");
  MiradelLockOwner owner{};
  int locked = GetLock(m_plant, "pump", &owner);
  if (!Check(locked == 1, "NW_GetLock(pump) = " + std::to_string(locked))) return false;
  m_holdsPrevious = true;
  int set = SetModelDir(m_plant, "pump");
  if (!Check(set == 1, "NW_SetModelDir(pump) = " + std::to_string(set))) return false;
  int copied = CopyAllToTemp();
  const std::string new_temp = QVTempDir();
  Say("NW_GetQVTempDir: " + new_temp);
  Check(copied == 1 && ContentOf(new_temp + "pump.out") == m_pumpOutV2,
        "NW_CopyAllToTemp(0) = " + std::to_string(copied) + ": the new working copy has the written-back pump.out");

  int keep_lock = 0;
  NW_GetOldModel(&keep_lock);
  m_holdsPrevious = false;
  Say("NW_GetOldModel(0)");
  Check(!FileExists(m_plant + kSep + "pump.lck"), "pump's lock is released, its lock file gone");
  Check(!DirExists(new_temp), "pump's new working directory was removed");
  Check(QVTempDir() == m_valveTemp && DirExists(m_valveTemp), "NW_GetQVTempDir is valve's working directory again");
  Check(ModelDir() == m_valves && CmpModels(m_valves, "valve") == 1, "NW_GetModelDir and NW_CmpModels: valve is open");
  Check(FileExists(m_valves + "valve.lck") && NW_CheckLock() == 1, "NW_CheckLock = 1: valve's lock holds");
  CheckNoMessages("while going back");
  return true;
}

bool Demo::Close() {
  Step("9. Close: NW_ReleaseLock");
  NW_ReleaseLock();
  m_holdsCurrent = false;
  Check(!FileExists(m_valves + "valve.lck"), "valve's lock file is gone");
  Check(!DirExists(m_valveTemp), "valve's working directory is gone");
  Check(ContentOf(m_plant + kSep + "pump.out") == m_pumpOutV2, "the model directory keeps the written-back pump.out");
  CheckNoMessages("while closing");
  return true;
}

bool Demo::BackgroundWriteBack() {
  Step("10. Open pump again and write back in the background: NW_ASynchCopy, NW_ASynchCopyExt, NW_AsynchCpyMdlFl,\n"
       "   NW_ASynchDelete, NW_EnqueueAndCopyFile, NW_SpndWaitThrd, NW_CopyModelFrmTmp");
  MiradelLockOwner owner{};
  if (!Check(GetLock(m_plant, "pump", &owner) == 1 && SetModelDir(m_plant, "pump") == 1 && CopyAllToTemp() == 1,
             "pump is open again (NW_GetLock, NW_SetModelDir, NW_CopyAllToTemp)"))
    return false;
  m_holdsCurrent = true;
  m_pumpTemp = QVTempDir();
  const std::string model = m_plant + kSep;
  const std::string out = m_pumpOutV2 + "RUN 3: hanger at node 10 stiffened\r\n";
  const std::string sum = "Summary of run 3\r\n";
  const std::string chk = "Check of run 3: passed\r\n";
  int park = 0, resume = 1;
  NW_SpndWaitThrd(&park);
  Say("NW_SpndWaitThrd(0): the copy thread waits, so that the requests can be looked at");
  WriteFile(m_pumpTemp + "pump.out", out);
  WriteFile(m_pumpTemp + "pump.sum", sum);
  WriteFile(m_pumpTemp + "pump.chk", chk);
  Say("the host changed pump.out and made pump.sum and pump.chk in the working copy");
  AsynchCpyMdlFl("out");
  ASynchCopyExt("sum");
  ASynchDelete("no-such-file.txt");
  Check(EnqueueAndCopyFile(m_pumpTemp + "pump.chk") == 1 && EnqueueAndCopyFile(m_pumpTemp + "PUMP.CHK") == 0,
        "NW_EnqueueAndCopyFile: pump.chk queued once; the same file in other letters is refused while it waits");
  Check(ContentOf(model + "pump.out") == m_pumpOutV2, "nothing was written while the thread waits");
  NW_SpndWaitThrd(&resume);
  Say("NW_SpndWaitThrd(1)");
  Check(Arrives(model + "pump.out", out) && Arrives(model + "pump.sum", sum),
        "NW_AsynchCpyMdlFl(out) and NW_ASynchCopyExt(sum): pump.out and pump.sum arrived");
  Check(Arrives(model + "pump.chk", chk), "NW_EnqueueAndCopyFile: pump.chk arrived");
  std::error_code ec;
  fs::remove(fs::path(m_pumpTemp + "pump.chk"), ec);
  ASynchCopy("pump.chk", "");
  Say("the host removed pump.chk from the working copy again: NW_ASynchCopy(pump.chk)");
  Check(WaitUntil([&] { return !FileExists(model + "pump.chk"); }),
        "NW_ASynchCopy of a file the host removed: removed in the model too");
  m_pumpDatV2 += "HANGER 10 STIFFENED\r\n";
  WriteFile(m_pumpTemp + "pump.dat", m_pumpDatV2);
  int written = NW_CopyModelFrmTmp();
  Check(written == 1 && ContentOf(model + "pump.dat") == m_pumpDatV2,
        "NW_CopyModelFrmTmp = " + std::to_string(written) + ": the model's data file written back at once");
  Check(NW_CheckLock() == 1, "the lock still holds");
  m_pumpOutV2 = out;
  return CheckNoMessages("during the background write-back");
}

bool Demo::ShareComesBack() {
  Step("11. The share goes away while a write-back waits, and comes back: Retry");
  const std::string out = m_pumpOutV2 + "RUN 4\r\n";
  if (!TakeAway(m_plant)) return true;
  Say(m_plant + " is gone (moved away), as a share that vanished");
  int questions = 0;
  m_recoveryAnswer = 6;  // Retry
  m_onQuestion = [&] {
    // The first Retry finds it still gone; before the second it is back.
    if (++questions == 2) BringBack(m_plant);
  };
  WriteFile(m_pumpTemp + "pump.out", out);
  AsynchCpyMdlFl("out");
  bool arrived = Arrives(m_plant + kSep + "pump.out", out);
  m_onQuestion = nullptr;
  if (!arrived) BringBack(m_plant);
  std::vector<std::string> shown = TakeBoxes();
  Check(questions == 2 && !shown.empty() && Contains(shown.front(), "Unable to update model \" pump \" data files"),
        "the copy thread asked to retry or save, naming pump; Retry while it was gone asked again");
  Check(arrived, "Retry once it was back: the waiting pump.out arrived");
  m_pumpOutV2 = out;
  return true;
}

bool Demo::SavedElsewhere() {
  Step("12. The share goes away for good: Save, and a new folder");
  const std::string moved = m_base + "plant-moved";
  std::error_code ec;
  fs::create_directory(fs::path(moved), ec);
  if (!TakeAway(m_plant)) return true;
  m_recoveryAnswer = 7;  // Save
  m_folder = moved;
  const std::string out = m_pumpOutV2 + "RUN 5\r\n";
  WriteFile(m_pumpTemp + "pump.out", out);
  AsynchCpyMdlFl("out");
  // The move ends with its message; until then the files are still on their way.
  const bool told = WaitUntil([&] {
    std::lock_guard<std::mutex> g(m_boxesMu);
    return std::any_of(m_boxes.begin(), m_boxes.end(),
                       [](const std::string& box) { return Contains(box, "Model was successfully saved at new location"); });
  });
  m_recoveryAnswer = 6;
  m_folder.clear();
  TakeBoxes();
  Check(told, "the user was told the model was saved at the new location");
  Check(ContentOf(moved + kSep + "pump.out") == out, "the working copy went to " + moved + ", with the waiting change");
  Check(FileNamesIn(moved) == [&] {
          std::set<std::string> names = FileNamesIn(m_pumpTemp);
          names.insert("pump.lck");
          return names;
        }(),
        "all of the working copy and the lock are there: " + Join(FileNamesIn(moved)));
  Check(ModelDir() == moved, "NW_GetModelDir now answers the new folder: " + ModelDir());
  BringBack(m_plant);
  const std::string later = out + "RUN 6\r\n";
  WriteFile(m_pumpTemp + "pump.out", later);
  AsynchCpyMdlFl("out");
  Check(Arrives(moved + kSep + "pump.out", later) && ContentOf(m_plant + kSep + "pump.out") == m_pumpOutV2,
        "later write-backs land in the new folder, not in the old one");
  m_pumpOutV2 = later;
  m_moved = moved;
  return true;
}

bool Demo::SaveAsSteps() {
  Step("13. Save As pump2 in another folder: NW_SetModelVars, NW_GetLock, NW_SetModelDir, NW_SaveAs(0)");
  const std::string plant2 = m_base + "plant2";
  std::error_code ec;
  fs::create_directory(fs::path(plant2), ec);
  NW_SetModelVars();
  MiradelLockOwner owner{};
  if (!Check(GetLock(plant2, "pump2", &owner) == 1 && SetModelDir(plant2, "pump2") == 1,
             "pump2 is locked in " + plant2 + " with a working directory of its own"))
    return false;
  m_holdsPrevious = true;
  std::string none;
  int saved = SaveAs(0, &none, "", &owner);
  Check(saved == 1, "NW_SaveAs(0) = " + std::to_string(saved));
  Check(ContentOf(plant2 + kSep + "pump2.dat") == m_pumpDatV2 && ContentOf(plant2 + kSep + "pump2.out") == m_pumpOutV2,
        "pump2.dat and pump2.out in " + plant2 + " hold pump's latest work: " + Join(FileNamesIn(plant2)));
  NW_RelesOldLock();
  m_holdsPrevious = false;
  Check(!FileExists(m_moved + kSep + "pump.lck"), "NW_RelesOldLock: pump is free again");

  Step("14. Read-only Save As into a folder the user picks: NW_SaveAs(1)");
  const std::string copy = m_base + "plant-copy";
  fs::create_directory(fs::path(copy), ec);
  m_folder = copy;
  std::string dir = plant2;
  saved = SaveAs(1, &dir, "pump2", &owner);
  m_folder.clear();
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
  const std::string folder = m_base + "archives";
  std::error_code ec;
  fs::create_directory(fs::path(folder), ec);
  m_archive = folder + kSep + "pump2_Archive.QVC";
  const int reports = 2;
  m_archiveTypes[reports] = 0;
  m_dialogs.clear();
  Check(NW_ArchiveModel() == 1, "NW_ArchiveModel = 1");
  for (const std::string& d : m_dialogs) Say("shown: " + d);
  Check(m_dialogs.size() == 2 && Contains(m_dialogs[0], "pump2_Archive in ") &&
            m_dialogs[1] == "Archive Model, ticked: yes yes yes yes yes",
        "the save dialog starts at pump2_Archive, then every type is ticked; the demo clears Reports");
  const std::vector<std::string> boxes = TakeBoxes();
  Check(boxes.size() == 1 && boxes[0] == "Archive Model: Model has been successfully archived.",
        "one message: the model is archived");
  Check(FileExists(m_archive), "the archive " + m_archive + " exists");

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
  const std::string copy = m_base + "plant-copy";
  bool same = files.count("pump2.dat") == 1;
  for (const std::string& f : files) same = same && ContentOf(unpacked + kSep + f) == ContentOf(copy + kSep + f);
  Check(same && files.count("pump2.out") == 0 && files.count("pump2.rpt") == 0 && files.count("pump2.lck") == 0,
        "the model's files but its reports came out as they were: " + Join(files));
  NW_ReleaseLock();
  NW_RelesOldLock();
  m_holdsCurrent = m_holdsPrevious = false;
  MiradelLockOwner owner{};
  const bool opened = GetLock(unpacked, "pump2", &owner) == 1;
  m_holdsCurrent = opened;
  Check(opened && SetModelDir(unpacked, "pump2") == 1 && CopyAllToTemp() == 1,
        "pump2 opens from the unpacked folder, locked there");

  Step("17. The properties of pump2.dat: NW_ShowFPDialog");
  char model_file[256];
  std::memset(model_file, ' ', sizeof model_file);
  std::memcpy(model_file, "pump2.dat", 9);
  int always_show = 0, revision = 7;
  const int shown = NW_ShowFPDialog(model_file, m_user.c_str(), &always_show, &revision);
  for (const auto& [field, value] : m_properties) Say(field + ": " + value);
  const std::string size = std::to_string(ContentOf(unpacked + kSep + "pump2.dat").size());
  auto field = [&](const std::string& f) {
    for (const auto& [k, v] : m_properties) if (k == f) return v;
    return std::string();
  };
  Check(field("Model Name") == "pump2.dat" && field("Last Saved By") == m_user && field("Model Revision") == "7" &&
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
  m_holdsCurrent = m_holdsPrevious = false;
  std::string left;
  for (const std::string& dir : {m_moved, m_base + "plant2", m_base + "plant-copy", m_base + "archives" + kSep + "pump2_Archive"})
    for (const std::string& name : FileNamesIn(dir))
      if (name.find(".lck") != std::string::npos) left += " " + dir + kSep + name;
  Check(left.empty(), "no lock file is left where the model went" + left);
  if (FileExists(m_plant + kSep + "pump.lck"))
    Say("the old folder keeps a pump.lck nobody holds: it was gone when the lock moved; anyone may take it over");
  return CheckNoMessages("while closing");
}

void Demo::LetGoOfEverything() {
  if (m_holdsPrevious) NW_RelesOldLock();
  if (m_holdsCurrent) NW_ReleaseLock();
  m_holdsPrevious = m_holdsCurrent = false;
}

void Demo::RemoveSample() {
  if (!m_madeBase || m_keep) return;
  SetWritable(m_plant + kSep + "pump.rpt", true);
  std::error_code ec;
  fs::remove_all(fs::path(WithoutTrailingSeparator(m_base)), ec);
  if (ec) std::cout << "   (the sample folder " << m_base << " could not be removed: " << ec.message() << ")\n";
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
  if (m_keep) std::cout << "\nthe sample models stay in " << m_base << "\n";
  RemoveSample();
  std::cout << "\n" << m_checks << " checks, " << m_failures << " failed" << (finished ? "" : ", demo cut short")
            << "\n";
  std::cout << (m_failures == 0 && finished ? "demo: all checks passed" : "demo: FAILED") << std::endl;
  return m_failures == 0 && finished ? 0 : 1;
}

}  // namespace

int RunDemo(const std::string& keep_dir) {
  Demo demo;
  return demo.Run(keep_dir);
}

}  // namespace miradel::tools
