// json_report.cpp - the comparison as JSON: the summary and one array of
// changes.
#include <memory>
#include <string>

#include "report.h"

namespace tovik_diff {
namespace {

// ---------------------------------------------------------------------------
// The JSON report: the summary, then one array of changes, each change an
// object naming its section. Snapshot text is narrow text in the device's
// ANSI code page; it is given out as UTF-8 taken as Windows-1252, the
// device's default code page.
// ---------------------------------------------------------------------------
class JsonReport : public Report {
 public:
  using Report::Report;

  void Begin(const Summary &s) override {
    Put("{\n  \"old\": ");
    String(s.oldPath);
    Put(",\n  \"new\": ");
    String(s.newPath);
    Put(",\n  \"differs\": ");
    Put(s.Differs() ? "true" : "false");
    Put(",\n  \"summary\": {\n    \"differences\": ");
    PutNumber(s.counts.Total());
    const Counts &c = s.counts;
    SectionSummary(s, Section::kRegistry, "registry",
                   {{"keysAdded", c.keysAdded},
                    {"keysRemoved", c.keysRemoved},
                    {"valuesAdded", c.valuesAdded},
                    {"valuesRemoved", c.valuesRemoved},
                    {"valuesChanged", c.valuesChanged}});
    SectionSummary(s, Section::kFileSystem, "fileSystem",
                   {{"directoriesAdded", c.directoriesAdded},
                    {"directoriesRemoved", c.directoriesRemoved},
                    {"filesAdded", c.filesAdded},
                    {"filesRemoved", c.filesRemoved},
                    {"filesChanged", c.filesChanged}});
    Put(", \"crcCompared\": ");
    Put(s.crcCompared ? "true" : "false");
    Put("}");
    SectionSummary(
        s, Section::kDatabases, "databases",
        {{"added", c.objectsAdded}, {"removed", c.objectsRemoved}, {"changed", c.objectsChanged}});
    Put("\n  },\n  \"changes\": [");
  }

  void KeyAdded(const KeyLine &key) override {
    Item("registry", "added", "key");
    KeyFields(key);
    Put("}");
  }
  void KeyRemoved(const Key &key) override {
    Item("registry", "removed", "key");
    KeyFields(key.line);
    Put(", \"subtree\": {\"keys\": ");
    PutNumber(key.subtreeKeys);
    Put(", \"values\": ");
    PutNumber(key.subtreeValues);
    Put("}}");
  }
  void ValueAdded(const KeyLine &key, bool, const ValueLine &value) override {
    ValueItem("added", key, value, nullptr, &value.data);
  }
  void ValueRemoved(const KeyLine &key, const ValueLine &value) override {
    ValueItem("removed", key, value, &value.data, nullptr);
  }
  void ValueChanged(const KeyLine &key, const ValueLine &before, const ValueLine &after) override {
    ValueItem("changed", key, after, &before.data, &after.data);
  }

  void DirectoryAdded(std::string_view path) override {
    Item("fileSystem", "added", "directory");
    Put(", \"path\": ");
    String(path);
    Put("}");
  }
  void DirectoryRemoved(const Directory &d) override {
    Item("fileSystem", "removed", "directory");
    Put(", \"path\": ");
    String(d.path);
    Put(", \"subtree\": {\"directories\": ");
    PutNumber(d.subtreeDirectories);
    Put(", \"files\": ");
    PutNumber(d.subtreeFiles);
    Put(", \"bytes\": ");
    PutNumber(d.subtreeBytes);
    Put("}}");
  }
  void FileAdded(std::string_view directory, bool, const FileLine &file) override {
    FileItem("added", directory, file, nullptr, &file, 0);
  }
  void FileRemoved(std::string_view directory, const FileLine &file) override {
    FileItem("removed", directory, file, &file, nullptr, 0);
  }
  void FileChanged(std::string_view directory, const FileLine &before, const FileLine &after,
                   unsigned what) override {
    FileItem("changed", directory, after, &before, &after, what);
  }

  void ObjectAdded(const DatabaseLine &object) override {
    ObjectItem("added", object, nullptr, &object, 0);
  }
  void ObjectRemoved(const DatabaseLine &object) override {
    ObjectItem("removed", object, &object, nullptr, 0);
  }
  void ObjectChanged(const DatabaseLine &before, const DatabaseLine &after,
                     unsigned what) override {
    ObjectItem("changed", after, &before, &after, what);
  }

  void End() override { Put(items_ ? "\n  ]\n}\n" : "]\n}\n"); }

 private:
  struct Field {
    const char *name;
    uint64_t value;
  };

  void SectionSummary(const Summary &s, Section section, const char *name,
                      std::initializer_list<Field> fields) {
    int i = static_cast<int>(section);
    Put(",\n    \"");
    Put(name);
    Put("\": {\"inOld\": ");
    Put(s.inOld[i] ? "true" : "false");
    Put(", \"inNew\": ");
    Put(s.inNew[i] ? "true" : "false");
    Put(", \"compared\": ");
    Put(s.compared[i] ? "true" : "false");
    for (const Field &f : fields) {
      Put(", \"");
      Put(f.name);
      Put("\": ");
      PutNumber(f.value);
    }
    if (section != Section::kFileSystem) Put("}");
  }

  void Item(const char *section, const char *change, const char *kind) {
    Put(items_++ ? ",\n    {\"section\": \"" : "\n    {\"section\": \"");
    Put(section);
    Put("\", \"change\": \"");
    Put(change);
    Put("\", \"kind\": \"");
    Put(kind);
    Put("\"");
  }

  void KeyFields(const KeyLine &key) {
    Put(", \"root\": ");
    String(kRootNames[key.root]);
    Put(", \"key\": ");
    String(key.path);
  }

  void ValueItem(const char *change, const KeyLine &key, const ValueLine &value,
                 const std::string_view *before, const std::string_view *after) {
    Item("registry", change, "value");
    KeyFields(key);
    Put(", \"name\": ");
    String(Unescape(value.name));
    if (before) {
      Put(", \"old\": ");
      Data(*before);
    }
    if (after) {
      Put(", \"new\": ");
      Data(*after);
    }
    Put("}");
  }

  // dword:XXXXXXXX as a number, "..." as the string it stands for,
  // hex(N):xx,.. as its type and bytes.
  void Data(std::string_view data) {
    if (data.compare(0, 6, "dword:") == 0) {
      Put("{\"type\": \"dword\", \"data\": ");
      PutNumber(std::stoull(std::string(data.substr(6)), nullptr, 16));
    } else if (data[0] == '"') {
      Put("{\"type\": \"string\", \"data\": ");
      String(Unescape(data.substr(1, data.size() - 2)));
    } else {
      size_t colon = data.find(':');
      Put("{\"type\": ");
      String(data.substr(0, colon));
      Put(", \"data\": ");
      String(data.substr(colon + 1));
    }
    Put("}");
  }

  // The list of what changed in a file or database object, when something
  // did. Files list size, crc, time, rom; objects size, records, time.
  void Changed(unsigned what) {
    if (!what) return;
    Put(", \"changed\": [");
    const char *separator = "";
    static const std::pair<unsigned, const char *> kWhat[] = {
        {kSize, "size"}, {kCrc, "crc"}, {kRecords, "records"}, {kTime, "time"}, {kRom, "rom"}};
    for (const auto &w : kWhat) {
      if (!(what & w.first)) continue;
      Put(separator);
      Put('"');
      Put(w.second);
      Put('"');
      separator = ", ";
    }
    Put("]");
  }

  void FileItem(const char *change, std::string_view directory, const FileLine &file,
                const FileLine *before, const FileLine *after, unsigned what) {
    Item("fileSystem", change, "file");
    Put(", \"directory\": ");
    String(directory);
    Put(", \"name\": ");
    String(file.name);
    Changed(what);
    for (const FileLine *f : {before, after}) {
      if (!f) continue;
      Put(f == before ? ", \"old\": {\"time\": " : ", \"new\": {\"time\": ");
      String(f->time);
      Put(", \"rom\": ");
      Put(f->rom ? "true" : "false");
      Put(", \"size\": ");
      PutNumber(f->size);
      if (f->hasCrc) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(f->crc));
        Put(", \"crc\": \"");
        Put(crc);
        Put("\"");
      }
      Put("}");
    }
    Put("}");
  }

  void ObjectItem(const char *change, const DatabaseLine &object, const DatabaseLine *before,
                  const DatabaseLine *after, unsigned what) {
    Item("databases", change,
         object.kind == 'B'   ? "database"
         : object.kind == 'F' ? "file"
                              : "directory");
    Put(", \"name\": ");
    String(object.name);
    Changed(what);
    if (object.kind != 'D') {
      for (const DatabaseLine *d : {before, after}) {
        if (!d) continue;
        Put(d == before ? ", \"old\": {\"time\": " : ", \"new\": {\"time\": ");
        String(d->time);
        Put(", \"size\": ");
        PutNumber(d->size);
        if (d->kind == 'B') {
          Put(", \"records\": ");
          PutNumber(d->records);
        }
        Put("}");
      }
    }
    Put("}");
  }

  // The text of an escaped registry string: \" \\ and \xNN undone.
  static std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '\\' || i + 1 >= s.size()) {
        out.push_back(s[i]);
      } else if (s[i + 1] == 'x' && i + 3 < s.size()) {
        out.push_back(static_cast<char>(std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16)));
        i += 3;
      } else {
        out.push_back(s[++i]);
      }
    }
    return out;
  }

  void String(std::string_view s) {
    Put('"');
    for (char ch : s) {
      unsigned char c = static_cast<unsigned char>(ch);
      if (c == '"' || c == '\\') {
        Put('\\');
        Put(ch);
      } else if (c < 0x20 || c == 0x7F) {
        char escape[7];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        Put(escape);
      } else if (c < 0x80) {
        Put(ch);
      } else {
        utf8_.clear();
        AppendUtf8From1252(utf8_, c);
        Put(utf8_);
      }
    }
    Put('"');
  }

  uint64_t items_ = 0;
  std::string utf8_;
};

}  // namespace

std::unique_ptr<Report> NewJsonReport(Output &out) { return std::make_unique<JsonReport>(out); }

}  // namespace tovik_diff
