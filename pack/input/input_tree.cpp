// Walking the inputs. The order is fixed (inputs as given, folder entries
// sorted by name bytes), so that the same tree always gives the same archive.
#include "pack/input/input_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unicase.h>
#include <unistd.h>
#include <uninorm.h>
#include <unistr.h>

#include <algorithm>
#include <map>

#include "pack/common/pack_error.h"

namespace {

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsDeviceName(std::string component) {
  component = component.substr(0, component.find('.'));
  while (!component.empty() && component.back() == ' ') component.pop_back();
  for (char& c : component) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (component == device) return true;
  }
  return component.size() == 4 && (component.rfind("COM", 0) == 0 || component.rfind("LPT", 0) == 0) &&
         component[3] >= '1' && component[3] <= '9';
}

// Windows compares names without regard to case, character by character
// (simple upper-case mapping, as its case table does), and a name typed as
// "A" plus a combining mark is the same file as the precomposed letter once
// normalised. The key: NFC, then each character in upper case.
std::string FoldedKey(const std::string& utf8) {
  size_t length = 0;
  uint8_t* normal = u8_normalize(UNINORM_NFC, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), nullptr,
                                 &length);
  if (normal == nullptr) return utf8;  // not UTF-8: the code-page check names it
  std::string key;
  for (const uint8_t* at = normal; at < normal + length;) {
    ucs4_t c;
    const int step = u8_mbtouc(&c, at, static_cast<size_t>(normal + length - at));
    uint8_t out[6];
    const int written = u8_uctomb(out, uc_toupper(c), sizeof out);
    if (written > 0) key.append(reinterpret_cast<const char*>(out), static_cast<size_t>(written));
    at += step;
  }
  free(normal);
  return key;
}

// The real path of a file or folder, for the rule that links stay inside
// the tree they are found in.
std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool IsInside(const std::string& path, const std::string& root) {
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          (root == "/" || path[root.size()] == '/'));
}

class Walk {
 public:
  Walk(const std::vector<LeftOut>& leftOut, const CodePage& codePage, const std::vector<std::string>& excludes)
      : leftOut_(leftOut), codePage_(codePage), excludes_(excludes) {}

  void AddInput(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
      const int error = errno;
      CheckLink(path);  // a dangling link says so
      throw PathError(path, error == ENOENT ? "no such file or folder" : SystemError(error));
    }
    if (S_ISDIR(info.st_mode)) {
      root_ = RealPath(path);
      if (!AddFolder(path, "", info)) throw PathError(path, "the folder holds nothing to pack");
    } else {
      AddEntry(path, BaseName(path), info);
    }
  }

  std::vector<InputMember> members;

 private:
  bool IsLeftOut(const struct stat& info) const {
    return std::any_of(leftOut_.begin(), leftOut_.end(), [&](const LeftOut& l) {
      return l.device == info.st_dev && l.inode == info.st_ino;
    });
  }

  void AddEntry(const std::string& path, const std::string& name, const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
      if (!AddFolder(path, name + "/", info)) AddMember(path, name + "/", info, true);
    } else if (S_ISREG(info.st_mode)) {
      AddMember(path, name, info, false);
    } else {
      throw PathError(path, "not a file or folder (a device, pipe or socket): it cannot be packed");
    }
  }

  // Links inside a folder are followed when they lead to something inside
  // the same input folder: the publisher's tree, as it reads. A link that
  // leads out of it would pack files nobody chose; one that leads nowhere
  // is named as such, not as a missing file.
  void CheckLink(const std::string& child) const {
    struct stat own;
    if (lstat(child.c_str(), &own) != 0 || !S_ISLNK(own.st_mode)) return;
    char target[PATH_MAX];
    const ssize_t length = readlink(child.c_str(), target, sizeof target - 1);
    const std::string shown = length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string("?");
    struct stat info;
    if (stat(child.c_str(), &info) != 0) {
      throw PathError(child, errno == ELOOP ? "a link that leads to itself (" + shown + ")"
                                            : "a link to " + shown + ", which does not exist");
    }
    const std::string real = RealPath(child);
    if (!root_.empty() && !IsInside(real, root_)) {
      throw PathError(child, "a link to " + shown + ", outside the folder being packed: it is not packed " +
                                 "(copy it in, or name it as an input of its own)");
    }
  }

  // The contents of a folder under prefix; false when it gave no member.
  bool AddFolder(const std::string& path, const std::string& prefix, const struct stat& info) {
    for (const LeftOut& open : openFolders_) {
      if (open.device == info.st_dev && open.inode == info.st_ino) {
        throw PathError(path, "a link back to a folder that contains it: the walk would never end");
      }
    }
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) throw PathError(path, std::string("cannot read the folder: ") + SystemError(errno));
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(folder)) {
      if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    const int readError = errno;
    closedir(folder);
    if (readError != 0) throw PathError(path, std::string("cannot read the folder: ") + SystemError(readError));
    std::sort(names.begin(), names.end());

    openFolders_.push_back({info.st_dev, info.st_ino});
    const size_t before = members.size();
    for (const std::string& name : names) {
      const std::string child = Join(path, name);
      if (IsExcluded(prefix + name, name)) continue;
      struct stat childInfo;
      CheckLink(child);
      if (stat(child.c_str(), &childInfo) != 0) throw PathError(child, SystemError(errno));
      if (IsLeftOut(childInfo)) continue;
      AddEntry(child, prefix + name, childInfo);
    }
    openFolders_.pop_back();
    return members.size() > before;
  }

  void AddMember(const std::string& path, const std::string& name, const struct stat& info, bool folder) {
    CheckSideBySide(name, path, folder);  // first: a clash says more than the code page would
    InputMember m;
    m.source = path;
    m.name = name;
    m.archiveName = ArchiveName(name, path, codePage_);
    m.folder = folder;
    m.size = folder ? 0 : static_cast<uint64_t>(info.st_size);
    m.modified = info.st_mtime;
    m.readOnly = (info.st_mode & 0222) == 0;
    m.executable = (info.st_mode & 0111) != 0;
    members.push_back(std::move(m));
  }

  // Two members Windows cannot hold side by side: names equal but for case
  // or normalisation, or a file where another member needs a folder of the
  // same name (a and A/b.txt). Every folder a member lies in is claimed as a
  // folder; every file claims its name as a file.
  void CheckSideBySide(const std::string& name, const std::string& path, bool folder) {
    const std::string key = FoldedKey(folder ? name.substr(0, name.size() - 1) : name);
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      Claim(key.substr(0, slash), path, true);
    }
    Claim(key, path, folder);
  }

  void Claim(const std::string& key, const std::string& path, bool folder) {
    const auto [seen, added] = claims_.emplace(key, Claimant{path, folder});
    if (added || (folder && seen->second.folder)) return;
    const std::string why = folder != seen->second.folder
                                ? "a file and a folder of the same name cannot stand side by side on Windows"
                                : "names that differ only in case or in how accents are written are one file on Windows";
    throw PathError(path, "clashes with " + seen->second.path + ": " + why);
  }

  struct Claimant {
    std::string path;
    bool folder;
  };

  bool IsExcluded(const std::string& relative, const std::string& name) const {
    for (const std::string& pattern : excludes_) {
      const bool whole = pattern.find('/') != std::string::npos;
      if (fnmatch(pattern.c_str(), whole ? relative.c_str() : name.c_str(), whole ? FNM_PATHNAME : 0) == 0) return true;
    }
    return false;
  }

  const std::vector<LeftOut>& leftOut_;
  const CodePage& codePage_;
  const std::vector<std::string>& excludes_;
  std::vector<LeftOut> openFolders_;
  std::map<std::string, Claimant> claims_;
  std::string root_;  // the real path of the input folder being walked
};

}  // namespace

std::string ArchiveName(const std::string& name, const std::string& source, const CodePage& codePage) {
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    for (unsigned char c : component) {
      if (c < 0x20 || strchr("<>:\"|?*\\", c) != nullptr) {
        const std::string shown = c < 0x20 ? "a control character" : std::string("'") + static_cast<char>(c) + "'";
        throw PathError(source, "the name holds " + shown + ", which Windows does not allow in file names");
      }
    }
    if (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
      throw PathError(source, "the name \"" + component + "\" ends with a dot or a blank, which Windows drops");
    }
    if (IsDeviceName(component)) {
      throw PathError(source, "\"" + component + "\" is a device name on Windows, not a file name");
    }
    start = end + 1;
  }
  std::string bytes, bad;
  if (!codePage.Encode(name, &bytes, &bad)) {
    throw PathError(source, FindInvalidUtf8(name) != std::string::npos
                                ? "the name is not UTF-8 (" + bad + ")"
                                : "the name holds " + bad + ", which code page " +
                                      std::to_string(codePage.number()) + " cannot hold");
  }
  if (bytes.size() > kNameLimit) {
    throw PathError(source, "the member name is " + std::to_string(bytes.size()) +
                                " bytes: the stub takes names of at most 259");
  }
  return bytes;
}

std::vector<InputMember> CollectInputs(const std::vector<std::string>& inputs,
                                       const std::vector<LeftOut>& leftOut, const CodePage& codePage,
                                       const std::vector<std::string>& excludes) {
  Walk walk(leftOut, codePage, excludes);
  for (const std::string& input : inputs) walk.AddInput(input);
  return std::move(walk.members);
}
