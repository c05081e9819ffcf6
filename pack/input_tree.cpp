// Walking the inputs. The order is fixed (inputs as given, folder entries
// sorted by name bytes), so that the same tree always gives the same archive.
#include "pack/input_tree.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "pack/pack_error.h"

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

class Walk {
 public:
  Walk(const std::vector<LeftOut>& leftOut, const CodePage& codePage) : leftOut_(leftOut), codePage_(codePage) {}

  void AddInput(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) throw PathError(path, errno == ENOENT ? "no such file or folder" : strerror(errno));
    if (S_ISDIR(info.st_mode)) {
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

  // The contents of a folder under prefix; false when it gave no member.
  bool AddFolder(const std::string& path, const std::string& prefix, const struct stat& info) {
    for (const LeftOut& open : openFolders_) {
      if (open.device == info.st_dev && open.inode == info.st_ino) {
        throw PathError(path, "a link back to a folder that contains it: the walk would never end");
      }
    }
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) throw PathError(path, std::string("cannot read the folder: ") + strerror(errno));
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(folder)) {
      if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    const int readError = errno;
    closedir(folder);
    if (readError != 0) throw PathError(path, std::string("cannot read the folder: ") + strerror(readError));
    std::sort(names.begin(), names.end());

    openFolders_.push_back({info.st_dev, info.st_ino});
    const size_t before = members.size();
    for (const std::string& name : names) {
      const std::string child = Join(path, name);
      struct stat childInfo;
      if (stat(child.c_str(), &childInfo) != 0) throw PathError(child, strerror(errno));
      if (IsLeftOut(childInfo)) continue;
      AddEntry(child, prefix + name, childInfo);
    }
    openFolders_.pop_back();
    return members.size() > before;
  }

  void AddMember(const std::string& path, const std::string& name, const struct stat& info, bool folder) {
    InputMember m;
    m.source = path;
    m.name = name;
    m.archiveName = ArchiveName(name, path, codePage_);
    m.folder = folder;
    m.size = folder ? 0 : static_cast<uint64_t>(info.st_size);
    m.modified = info.st_mtime;
    m.readOnly = (info.st_mode & 0222) == 0;
    m.executable = (info.st_mode & 0111) != 0;
    // Windows names ignore case: two names that differ only in case are one file there.
    std::string folded = m.archiveName;
    for (char& c : folded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const auto [seen, added] = byName_.emplace(folded, path);
    if (!added) {
      throw PathError(path, "gives the member name \"" + name + "\", as " + seen->second +
                                " does (names that differ only in case are one file on Windows)");
    }
    members.push_back(std::move(m));
  }

  const std::vector<LeftOut>& leftOut_;
  const CodePage& codePage_;
  std::vector<LeftOut> openFolders_;
  std::map<std::string, std::string> byName_;
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
                                       const std::vector<LeftOut>& leftOut, const CodePage& codePage) {
  Walk walk(leftOut, codePage);
  for (const std::string& input : inputs) walk.AddInput(input);
  return std::move(walk.members);
}
