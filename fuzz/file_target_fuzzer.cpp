// libFuzzer target of whole-file writing (WriteFileReplacing) over whatever stands at the
// name, in a scratch folder made afresh for every input. Byte 0: bit 0 a batch's write (not
// durable), bit 1 the bytes in two parts; byte 1: the entry written (low 3 bits); bytes 2-9:
// entries "e0" to "e7", low 3 bits the kind (TKind), next 3 bits the entry K a link names;
// the rest: the bytes written (at most 16 KB, so that a FIFO takes them all).
//
// Afterwards no name is added but the file a write creates, and only the entry written
// changed: to the new bytes after a write that succeeded (a FIFO's reader got them). A
// durable write succeeds wherever a plain create would; a batch's only on a regular file or
// a missing name.
#include "FuzzCheck.h"
#include "export/FileReader.h"
#include "export/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <system_error>
#include <vector>

using namespace varimark;

namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 8;
constexpr std::size_t kMaxBytes = 16384;
constexpr int kMaxLinks = 40;

// kHardLink: of eK (a regular file where eK is none); kLost: a link into a missing folder.
enum TKind { kNone, kRegular, kRelativeLink, kAbsoluteLink, kFifo, kFolder, kHardLink, kLost };

// What a name in the folder is and holds: the content of a file, the text of a link, the
// names and contents inside a folder.
struct TEntry {
    char type = 0; // 'f' file, 'l' link, 'p' FIFO, 'd' folder
    std::string content;
    ino_t inode = 0;
    friend bool operator==(const TEntry&, const TEntry&) = default;
};

// A file's content (the writes are at most 16 KB); anything but a regular file reads as empty.
std::string ReadAll(const std::string& path) {
    std::string bytes;
    varimark::ReadSmallFile(path, std::size_t{1} << 20, bytes);
    return bytes;
}

std::map<std::string, TEntry> Snapshot(const std::string& dir) {
    std::map<std::string, TEntry> entries;
    for (const auto& item : fs::directory_iterator(dir)) {
        const std::string path = item.path().string();
        struct stat st {};
        Check(::lstat(path.c_str(), &st) == 0, "lstat of an entry");
        const mode_t m = st.st_mode;
        TEntry entry{S_ISLNK(m) ? 'l' : S_ISFIFO(m) ? 'p' : S_ISDIR(m) ? 'd' : 'f', "", st.st_ino};
        if (entry.type == 'l') {
            entry.content = fs::read_symlink(path).string();
        } else if (entry.type == 'd') {
            for (const auto& inner : fs::directory_iterator(path))
                entry.content +=
                    inner.path().filename().string() + "=" + ReadAll(inner.path().string()) + ";";
        } else if (entry.type == 'f') {
            entry.content = ReadAll(path);
        }
        entries[item.path().filename().string()] = entry;
    }
    return entries;
}

// The scratch folder, made once and removed at exit.
struct TScratch {
    std::string dir = (fs::temp_directory_path() / "vm_file_target_XXXXXX").string();
    TScratch() { Check(::mkdtemp(dir.data()) != nullptr, "scratch folder made"); }
    ~TScratch() {
        std::error_code error;
        fs::remove_all(dir, error);
    }
};

// The name a durable write writes to: links followed within the folder; "" for a loop.
std::string FinalName(const std::map<std::string, TEntry>& entries, const std::string& dir,
                      std::string name) {
    for (int links = 0;; ++links) {
        const auto it = entries.find(name);
        if (it == entries.end() || it->second.type != 'l') return name;
        if (links == kMaxLinks) return "";
        name = it->second.content;
        if (name.rfind(dir + "/", 0) == 0) name = name.substr(dir.size() + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 + kEntries) return 0;
    const bool durable = (data[0] & 1) == 0;
    const bool twoParts = (data[0] & 2) != 0;
    const std::string target = "e" + std::to_string(data[1] & 7);
    const std::uint8_t* kinds = data + 2;
    const std::vector<std::uint8_t> bytes(data + 2 + kEntries,
                                          data + std::min(size, 2 + kEntries + kMaxBytes));

    static const TScratch scratch;
    const std::string dir = scratch.dir + "/run";
    fs::remove_all(dir);
    fs::create_directory(dir);
    const auto name = [](int i) { return "e" + std::to_string(i); };
    const auto path = [&](const std::string& n) { return dir + "/" + n; };
    // Hard links last, when what they link to is there.
    std::vector<int> readers;
    for (int i = 0; i < kEntries; ++i) {
        const std::string p = path(name(i));
        const std::string to = name((kinds[i] >> 3) & 7);
        switch (kinds[i] & 7) {
        case kRegular: std::ofstream(p) << "old " << i; break;
        case kRelativeLink: Check(::symlink(to.c_str(), p.c_str()) == 0, "link made"); break;
        case kAbsoluteLink: Check(::symlink(path(to).c_str(), p.c_str()) == 0, "link made"); break;
        case kLost: Check(::symlink(("nowhere/" + to).c_str(), p.c_str()) == 0, "link made"); break;
        case kFifo:
            Check(::mkfifo(p.c_str(), 0600) == 0, "FIFO made");
            readers.push_back(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            break;
        case kFolder:
            fs::create_directory(p);
            std::ofstream(p + "/inside") << "kept " << i;
            break;
        default: break;
        }
    }
    for (int i = 0; i < kEntries; ++i)
        if ((kinds[i] & 7) == kHardLink &&
            ::link(path(name((kinds[i] >> 3) & 7)).c_str(), path(name(i)).c_str()) != 0)
            std::ofstream(path(name(i))) << "old " << i;
    for (const int fd : readers) Check(fd >= 0, "FIFO reader open");

    const std::map<std::string, TEntry> before = Snapshot(dir);
    // The entry the bytes go to, and whether the write must succeed.
    std::string written = durable ? FinalName(before, dir, target) : target;
    const auto old = before.find(written);
    const char type = old == before.end() ? 0 : old->second.type;
    const bool mustSucceed = durable ? !written.empty() && written.find('/') == std::string::npos &&
                                           (type == 0 || type == 'f' || type == 'p')
                                     : type == 0 || type == 'f';

    const TWriteMode mode = durable ? TWriteMode::Save : TWriteMode::Bulk;
    bool succeeded = true;
    try {
        const std::span<const std::uint8_t> all(bytes);
        if (twoParts)
            WriteFileReplacing(path(target),
                               {all.first(all.size() / 2), all.subspan(all.size() / 2)}, mode);
        else
            WriteFileReplacing(path(target), all, mode);
    } catch (const EFile&) {
        succeeded = false;
    }
    Check(succeeded == mustSucceed, "the write succeeds exactly where it may");

    std::string received;
    for (const int fd : readers) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    }

    const std::map<std::string, TEntry> after = Snapshot(dir);
    for (const auto& [n, entry] : after) {
        const auto was = before.find(n);
        if (n == written && succeeded) {
            // A FIFO stays one and its reader gets the bytes; else a regular file holds them.
            Check(entry.type == (type == 'p' ? 'p' : 'f'), "the entry written has the right kind");
            Check((type == 'p' ? received : entry.content) ==
                      std::string(bytes.begin(), bytes.end()),
                  "the entry written got the bytes");
            continue;
        }
        Check(was != before.end(), "no name but the one written is added");
        Check(entry == was->second, "an entry not written is unchanged");
    }
    for (const auto& [n, entry] : before) Check(after.count(n) == 1, "no entry is removed");
    if (!succeeded) Check(received.empty(), "a failed write sends nothing");
    return 0;
}
