// A CAPETag and an IAPEDecompress that keep fields in memory and record every call, for the
// tests of the tag stages.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "codec/monkeys_audio.h"

class TFakeTag : public CAPETag {
 public:
  int SaveTag(int reserved) override {
    calls.push_back("SaveTag(" + std::to_string(reserved) + ")");
    return 0;
  }
  int EraseTag(int reserved) override {
    calls.push_back("EraseTag(" + std::to_string(reserved) + ")");
    fields.clear();
    return 0;
  }
  int PutField(const char* field, const char* value, int length, int flags) override {
    calls.push_back(std::string("PutField(") + field + ", \"" + value + "\", " +
                    std::to_string(length) + ", " + std::to_string(flags) + ")");
    fields[field] = value;
    return 0;
  }
  int FetchField(const char* field, char* buffer, int* buffer_bytes) override {
    auto found = fields.find(field);
    const std::string text = found == fields.end() ? "" : found->second;
    if (unterminated) {
      // A misbehaving library: fills the whole buffer and leaves no terminator.
      std::string(*buffer_bytes, 'x').copy(buffer, *buffer_bytes);
      return 0;
    }
    const size_t count = std::min(text.size(), static_cast<size_t>(*buffer_bytes - 1));
    text.copy(buffer, count);
    buffer[count] = '\0';
    *buffer_bytes = static_cast<int>(count);
    return 0;
  }

  std::map<std::string, std::string> fields;
  std::vector<std::string> calls;
  bool unterminated = false;
};

class TFakeDecompress : public IAPEDecompress {
 public:
  explicit TFakeDecompress(TFakeTag* tag, int* deleted) : fTag(tag), fDeleted(deleted) {}
  ~TFakeDecompress() override { ++*fDeleted; }
  int GetData(char*, intptr_t, intptr_t*) override { return kApeErrorUnsupported; }
  int Seek(intptr_t) override { return kApeErrorUnsupported; }
  intptr_t QueryInfo(int code, intptr_t, intptr_t) override {
    return code == kApeInfoTag ? reinterpret_cast<intptr_t>(fTag) : 0;
  }

 private:
  TFakeTag* fTag;
  int* fDeleted;
};
