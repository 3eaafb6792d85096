// The Windows side of common/platform.hpp. Paths and names are bytes in the
// ANSI code page, as the programs' lists have always held them; they meet
// the system as UTF-16 through the W functions, with the \\?\ prefix where a
// path is longer than the old 260-character limit.
// windows.h first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

#include "common/atomic_file.hpp"
#include "common/child_process.hpp"
#include "common/platform.hpp"

namespace common::platform {
namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
  return result;
}

// A name the ANSI code page cannot hold is never best-fitted to another.
std::optional<std::string> narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  BOOL lossy = FALSE;
  const int length =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
  if (lossy || length <= 0) return std::nullopt;
  std::string result(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        result.data(), length, nullptr, nullptr);
  return result;
}

std::wstring system_path(const std::string& path) {
  std::wstring result = wide(path.empty() ? std::string(".") : path);
  for (wchar_t& c : result)
    if (c == L'/') c = L'\\';
  if (result.size() < MAX_PATH || result.rfind(L"\\\\", 0) == 0) return result;
  wchar_t* unused = nullptr;
  const DWORD length = ::GetFullPathNameW(result.c_str(), 0, nullptr, &unused);
  std::wstring full(length, L'\0');
  full.resize(::GetFullPathNameW(result.c_str(), length, full.data(), &unused));
  return L"\\\\?\\" + full;
}

// The same words as the C library's reasons on the other systems.
std::string reason_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "no such file or directory";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "no space left on device";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return "file exists";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "in use by another program";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "cannot allocate memory";
    case ERROR_WRITE_PROTECT:
      return "read-only file system";
    default:
      return "system error " + std::to_string(error);
  }
}

struct handle {
  HANDLE value = INVALID_HANDLE_VALUE;
  ~handle() {
    if (value != INVALID_HANDLE_VALUE && value != nullptr) ::CloseHandle(value);
  }
};

}  // namespace

unsigned available_processors() {
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) || process == 0) return 1;
  return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
}

std::string process_id() {
  return std::to_string(::GetCurrentProcessId());
}

bool error_output_is_terminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// The Windows heap keeps freed blocks itself, and a thread's stack is what
// the program's header reserves (1 MiB): nothing to set.
void keep_freed_memory_for_reuse() {}
void use_little_address_space_per_thread() {}

bool address_space_left(std::size_t bytes) {
  void* probe = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
  if (probe == nullptr) return false;
  ::VirtualFree(probe, 0, MEM_RELEASE);
  return true;
}

std::shared_ptr<void> map_zeroed_block(std::size_t bytes) {
  void* block = ::VirtualAlloc(nullptr, std::max<std::size_t>(bytes, 1), MEM_RESERVE | MEM_COMMIT,
                               PAGE_READWRITE);
  if (block == nullptr) return nullptr;
  return {block, [](void* p) { ::VirtualFree(p, 0, MEM_RELEASE); }};
}

std::string_view text_line_end() {
  return "\r\n";
}

bool is_directory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(system_path(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool exists(const std::string& path) {
  if (::GetFileAttributesW(system_path(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = system_path(dir) + L"\\*";
  HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (auto name = narrow(entry.cFileName)) names.push_back(std::move(*name));
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return names;
}

std::optional<std::string> make_directory(const std::string& path) {
  if (::CreateDirectoryW(system_path(path).c_str(), nullptr)) return std::nullopt;
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS && is_directory(path)) return std::nullopt;
  return reason_of(error);
}

std::optional<std::string> remove_file(const std::string& path) {
  if (::DeleteFileW(system_path(path).c_str())) return std::nullopt;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
  return reason_of(error);
}

namespace {

// Deleted while still locked, as on the other systems: a run waiting on it
// finds the name gone or taken by a newer file and starts over on that one.
class lock_file final : public held_lock {
 public:
  lock_file(std::wstring path, HANDLE file) : path_(std::move(path)), file_(file) {}
  ~lock_file() override {
    ::DeleteFileW(path_.c_str());
    OVERLAPPED whole{};
    ::UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &whole);
    ::CloseHandle(file_);
  }
  lock_file(const lock_file&) = delete;
  lock_file& operator=(const lock_file&) = delete;

 private:
  std::wstring path_;
  HANDLE file_;
};

bool same_file(HANDLE held, const std::wstring& path) {
  handle named{::CreateFileW(path.c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr)};
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  return named.value != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(held, &a) &&
         ::GetFileInformationByHandle(named.value, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

std::unique_ptr<held_lock> hold_lock_file(const std::string& name, std::string& problem) {
  const std::wstring path = system_path(name);
  while (true) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      problem = reason_of(::GetLastError());
      return nullptr;
    }
    OVERLAPPED whole{};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
      problem = reason_of(::GetLastError());
      ::CloseHandle(file);
      return nullptr;
    }
    if (same_file(file, path)) return std::make_unique<lock_file>(path, file);
    ::CloseHandle(file);
  }
}

std::filesystem::path program_file() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return std::filesystem::path(name);
    }
    name.resize(name.size() * 2);
  }
}

void* load_library_entry(const std::filesystem::path& file, const char* entry_name,
                         std::string& problem, bool& short_of_memory) {
  // The library's own folder first for the DLLs it needs, never the working folder.
  HMODULE library = ::LoadLibraryExW(
      file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (library == nullptr) {
    const DWORD error = ::GetLastError();
    problem = file.string() + ": cannot be loaded: " + reason_of(error);
    short_of_memory = error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
                      error == ERROR_COMMITMENT_LIMIT;
    return nullptr;
  }
  auto entry = reinterpret_cast<void*>(::GetProcAddress(library, entry_name));
  if (entry == nullptr) {
    problem = file.string() + ": no entry " + entry_name;
    ::FreeLibrary(library);
  }
  return entry;
}

// Windows always has its desktop; HighGUI's own windows need nothing else.
bool can_open_display() {
  return true;
}
void prepare_window_toolkit() {}

namespace {

// A crash ends the helper with a status its parent reports as a line, never
// with the system's error dialog or a debugger waiting for a user.
LONG WINAPI end_on_crash(EXCEPTION_POINTERS* crash) {
  ::TerminateProcess(::GetCurrentProcess(), crash->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The helper's own job: the bounds below are set on it per request.
HANDLE own_job() {
  static HANDLE job = [] {
    HANDLE created = ::CreateJobObjectW(nullptr, nullptr);
    if (created != nullptr) ::AssignProcessToJobObject(created, ::GetCurrentProcess());
    return created;
  }();
  return job;
}

void set_job_limits(const JOBOBJECT_EXTENDED_LIMIT_INFORMATION& limits) {
  if (HANDLE job = own_job())
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation,
                              const_cast<JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(&limits),
                              sizeof limits);
}

JOBOBJECT_EXTENDED_LIMIT_INFORMATION current_limits() {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  if (HANDLE job = own_job())
    ::QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits,
                                nullptr);
  return limits;
}

}  // namespace

bool end_with_parent(const std::string& parent_id) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(end_on_crash);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  if (parent_id.empty()) return true;
  HANDLE parent = ::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(parent_id));
  if (parent == nullptr || ::WaitForSingleObject(parent, 0) == WAIT_OBJECT_0) return false;
  std::thread([parent] {
    ::WaitForSingleObject(parent, INFINITE);
    ::TerminateProcess(::GetCurrentProcess(), 1);
  }).detach();
  return true;
}

bool read_from_parent(void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  while (size > 0) {
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::ReadFile(in, bytes, wanted, &got, nullptr) || got == 0) return false;
    bytes += got;
    size -= got;
  }
  return true;
}

bool write_to_parent(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  while (size > 0) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::WriteFile(out, bytes, wanted, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

void limit_further_memory(std::size_t bytes) {
  PROCESS_MEMORY_COUNTERS used{};
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &used, sizeof used)) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = current_limits();
  limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
  limits.ProcessMemoryLimit = used.PagefileUsage + bytes;
  set_job_limits(limits);
}

void limit_further_cpu_seconds(unsigned seconds) {
  FILETIME created{}, ended{}, kernel{}, user{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user)) return;
  const auto ticks = [](FILETIME t) {
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                 t.dwLowDateTime);
  };
  constexpr LONGLONG ticks_per_second = 10'000'000;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = current_limits();
  limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_TIME;
  limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
      ticks(user) + ticks(kernel) + (1 + static_cast<LONGLONG>(seconds)) * ticks_per_second;
  set_job_limits(limits);
}

// --- Interrupts

namespace {

volatile LONG first_signal = 0;

// The console's events as the signals they stand for elsewhere. Returning
// TRUE keeps the process alive to stop between two steps; a second event
// ends it at once.
BOOL WINAPI on_console_event(DWORD event) {
  const LONG signal = event == CTRL_C_EVENT ? 2 : event == CTRL_BREAK_EVENT ? 15 : 1;
  if (::InterlockedCompareExchange(&first_signal, signal, 0) != 0)
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(128 + signal));
  return TRUE;
}

}  // namespace

void catch_interrupts() {
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

int interrupted() {
  return static_cast<int>(first_signal);
}

// --- Console text

std::string console_codeset() {
  // No console (output redirected, or wine without one): the ANSI code page
  // that lists and names are written in.
  UINT page = ::GetConsoleOutputCP();
  if (page == 0) page = ::GetACP();
  return page == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(page);
}

std::optional<std::string> convert_from_utf8(std::string_view utf8_text,
                                             const std::string& codeset) {
  if (codeset.rfind("CP", 0) != 0) return std::nullopt;
  const UINT page = static_cast<UINT>(std::strtoul(codeset.c_str() + 2, nullptr, 10));
  if (utf8_text.empty()) return std::string();
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8_text.data(),
                                           static_cast<int>(utf8_text.size()), nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()),
                        text.data(), length);
  BOOL lossy = FALSE;
  const int size = ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                         0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string encoded(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text.data(), length, encoded.data(), size,
                        nullptr, nullptr);
  return encoded;
}

// --- Reading and replacing files

namespace {

file_read read_failure(file_read::status what, std::string reason) {
  file_read result;
  result.what = what;
  result.reason = std::move(reason);
  return result;
}

}  // namespace

file_read read_regular(const std::string& path, std::size_t max_bytes, bool head_only) {
  const std::wstring name = system_path(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return read_failure(file_read::status::not_regular, "is a directory");
  handle file{::CreateFileW(name.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
  if (file.value == INVALID_HANDLE_VALUE)
    return read_failure(file_read::status::cannot_open, reason_of(::GetLastError()));
  if (::GetFileType(file.value) != FILE_TYPE_DISK)
    return read_failure(file_read::status::not_regular, "is a device, not a regular file");
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file.value, &length))
    return read_failure(file_read::status::cannot_read, reason_of(::GetLastError()));
  const auto size = static_cast<std::uint64_t>(length.QuadPart);
  if (size > max_bytes && !head_only)
    return read_failure(file_read::status::too_large, too_large_text(size, max_bytes));
  file_read result;
  result.whole = size <= max_bytes;
  result.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, max_bytes)));
  std::size_t done = 0;
  while (done < result.bytes.size()) {
    DWORD got = 0;
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::size_t>(result.bytes.size() - done, 1u << 30));
    if (!::ReadFile(file.value, result.bytes.data() + done, wanted, &got, nullptr))
      return read_failure(file_read::status::cannot_read, reason_of(::GetLastError()));
    if (got == 0) break;  // shrank while read: keep what is there
    done += got;
  }
  result.bytes.resize(done);
  return result;
}

std::optional<std::string> replace_atomically(const std::string& path, std::string_view content) {
  static constexpr char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temp_name;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    std::string name = path + std::string(temporary_marker);
    ULONGLONG seed = ::GetTickCount64() ^ (static_cast<ULONGLONG>(::GetCurrentProcessId()) << 20) ^
                     static_cast<ULONGLONG>(attempt) * 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 6; ++i, seed /= 62) name += letters[seed % 62];
    temp_name = system_path(name);
    file = ::CreateFileW(temp_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE)
    return "cannot create a temporary file beside it: " + reason_of(::GetLastError());
  std::optional<std::string> error;
  while (!content.empty() && !error) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
    if (!::WriteFile(file, content.data(), wanted, &written, nullptr) || written == 0)
      error = "cannot write: " + reason_of(::GetLastError());
    else
      content.remove_prefix(written);
  }
  if (!error && !::FlushFileBuffers(file)) error = "cannot write: " + reason_of(::GetLastError());
  ::CloseHandle(file);
  // std::rename does not replace an existing file here; MoveFileEx does, in one step.
  if (!error && !::MoveFileExW(temp_name.c_str(), system_path(path).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = "cannot replace: " + reason_of(::GetLastError());
  if (error) ::DeleteFileW(temp_name.c_str());
  return error;
}

// --- Listing folders

namespace {

dir_entry entry_of(std::string name, DWORD attributes, DWORD size_low) {
  return dir_entry{std::move(name), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                   static_cast<std::uint32_t>(size_low)};
}

}  // namespace

std::optional<dir_entry> look_up_entry(const std::string& path, std::string& problem) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(system_path(path).c_str(), GetFileExInfoStandard, &data)) {
    problem = reason_of(::GetLastError());
    return std::nullopt;
  }
  return entry_of(path, data.dwFileAttributes, data.nFileSizeLow);
}

search_result list_matching(const std::string& dir, std::string_view name_pattern,
                            entry_sizes /*sizes*/) {
  // Every entry, matched by the programs' own rule: the system's matcher
  // would also match 8.3 short names ("*.jpe" finding "LONGNA~1.JPEG").
  WIN32_FIND_DATAW item{};
  const std::wstring every = system_path(dir) + L"\\*";
  HANDLE search = ::FindFirstFileExW(every.c_str(), FindExInfoBasic, &item, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE)
    return {{}, "cannot open directory " + dir + ": " + reason_of(::GetLastError())};
  search_result result;
  do {
    const std::optional<std::string> name = narrow(item.cFileName);
    if (!name) {
      // Listed under a best-fitted name it would be a file that is not there.
      ++result.unnamable;
      continue;
    }
    if (matches_name_pattern(name_pattern, *name))
      result.entries.push_back(entry_of(*name, item.dwFileAttributes, item.nFileSizeLow));
  } while (::FindNextFileW(search, &item));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES)
    return {{}, "cannot read directory " + dir + ": " + reason_of(error)};
  return result;
}

}  // namespace common::platform

// --- The helper process

namespace common {
namespace {

void close_handle(HANDLE& h) {
  if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  h = nullptr;
}

// One argument as CreateProcess's parser reads it back.
std::wstring quoted_argument(const std::wstring& argument) {
  std::wstring text = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    text += c;
  }
  text.append(2 * backslashes, L'\\');
  return text + L"\"";
}

// Cancels the calling thread's blocking pipe write at the deadline: an
// anonymous pipe has no wait of its own.
class write_deadline {
 public:
  explicit write_deadline(child_process::deadline until) {
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &thread_,
                      0, FALSE, DUPLICATE_SAME_ACCESS);
    watcher_ = std::thread([this, until] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_cv_.wait_until(lock, until, [this] { return done_; })) {
        expired_ = true;
        ::CancelSynchronousIo(thread_);
      }
    });
  }
  ~write_deadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_one();
    watcher_.join();
    ::CloseHandle(thread_);
  }
  write_deadline(const write_deadline&) = delete;
  write_deadline& operator=(const write_deadline&) = delete;
  bool expired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return expired_;
  }

 private:
  HANDLE thread_ = nullptr;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false, expired_ = false;
  std::thread watcher_;
};

std::string ending_of(DWORD code) {
  if (code >= 0xC0000000u) {
    char text[64];
    std::snprintf(text, sizeof text, "crashed (exception 0x%08lX)",
                  static_cast<unsigned long>(code));
    return text;
  }
  return "exit status " + std::to_string(code);
}

}  // namespace

struct child_process::connection {
  HANDLE process = nullptr;
  HANDLE job = nullptr;  // ends the child with this process, and bounds it
  HANDLE to_child = nullptr;
  HANDLE from_child = nullptr;
  ~connection() {
    close_handle(to_child);
    close_handle(from_child);
    close_handle(process);
    close_handle(job);
  }
};

child_process::child_process() = default;

child_process::~child_process() {
  if (running()) stop(false);
}

child_process::child_process(child_process&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), connection_(std::move(other.connection_)) {}

child_process& child_process::operator=(child_process&& other) noexcept {
  if (this != &other) {
    if (running()) stop(false);
    pid_ = std::exchange(other.pid_, -1);
    connection_ = std::move(other.connection_);
  }
  return *this;
}

std::optional<std::string> child_process::start(const std::filesystem::path& program,
                                                const std::vector<std::string>& args) {
  if (running()) stop(true);
  auto made = std::make_unique<connection>();
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE child_in = nullptr, child_out = nullptr;
  if (!::CreatePipe(&child_in, &made->to_child, &inheritable, 1 << 20) ||
      !::CreatePipe(&made->from_child, &child_out, &inheritable, 1 << 20))
    return platform::reason_of(::GetLastError());
  ::SetHandleInformation(made->to_child, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(made->from_child, HANDLE_FLAG_INHERIT, 0);
  HANDLE discard = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr);
  // Only these three handles reach the child, whatever other threads start.
  HANDLE inherited[] = {child_in, child_out, discard};
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<std::uint8_t> list_bytes(list_size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_bytes.data());
  ::InitializeProcThreadAttributeList(attributes, 1, 0, &list_size);
  ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                              sizeof inherited, nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = child_in;
  startup.StartupInfo.hStdOutput = child_out;
  startup.StartupInfo.hStdError = discard;
  startup.lpAttributeList = attributes;
  std::wstring command_line = quoted_argument(program.wstring());
  for (const std::string& argument : args)
    command_line += L" " + quoted_argument(platform::wide(argument));
  PROCESS_INFORMATION started{};
  const BOOL created =
      ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                       nullptr, &startup.StartupInfo, &started);
  const DWORD error = ::GetLastError();
  ::DeleteProcThreadAttributeList(attributes);
  ::CloseHandle(child_in);
  ::CloseHandle(child_out);
  if (discard != INVALID_HANDLE_VALUE) ::CloseHandle(discard);
  if (!created) return platform::reason_of(error);
  made->process = started.hProcess;
  made->job = ::CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (made->job != nullptr) {
    ::SetInformationJobObject(made->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    ::AssignProcessToJobObject(made->job, started.hProcess);
  }
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  pid_ = static_cast<long>(started.dwProcessId);
  connection_ = std::move(made);
  return std::nullopt;
}

child_process::transfer child_process::send(std::span<const std::uint8_t> bytes, deadline until) {
  if (!running()) return transfer::closed;
  write_deadline guard(until);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 16));
    if (!::WriteFile(connection_->to_child, bytes.data(), wanted, &written, nullptr) ||
        written == 0)
      return guard.expired() ? transfer::timed_out : transfer::closed;
    bytes = bytes.subspan(written);
  }
  return transfer::complete;
}

child_process::transfer child_process::receive(std::span<std::uint8_t> into, deadline until) {
  if (!running()) return transfer::closed;
  while (!into.empty()) {
    DWORD available = 0;
    if (!::PeekNamedPipe(connection_->from_child, nullptr, 0, nullptr, &available, nullptr))
      return transfer::closed;
    if (available == 0) {
      if (std::chrono::steady_clock::now() >= until) return transfer::timed_out;
      ::Sleep(1);
      continue;
    }
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(into.size(), available));
    if (!::ReadFile(connection_->from_child, into.data(), wanted, &got, nullptr) || got == 0)
      return transfer::closed;
    into = into.subspan(got);
  }
  return transfer::complete;
}

std::string child_process::stop(bool force) {
  if (!running()) return "not running";
  if (force) ::TerminateProcess(connection_->process, 1);
  close_handle(connection_->to_child);
  close_handle(connection_->from_child);
  // A helper ends on the closed channel at once; one that does not is ended.
  if (::WaitForSingleObject(connection_->process, 200) != WAIT_OBJECT_0) {
    ::TerminateProcess(connection_->process, 1);
    ::WaitForSingleObject(connection_->process, INFINITE);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(connection_->process, &code);
  connection_.reset();
  pid_ = -1;
  return ending_of(code);
}

}  // namespace common
