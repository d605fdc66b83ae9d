#include "platform/monkeysaudio/save_recovery.h"

#include <algorithm>

#include "platform/monkeysaudio/save_copy.h"
#include "platform/monkeysaudio/save_plan.h"

namespace {

// Reads the copy that `trailer` (the file's last bytes) describes; true and `region` filled when
// the copy is whole and holds a tag.
bool read_copy(const TFileDescriptor& file, uint64_t size, const TSaveTrailer* trailer,
               uint64_t floor, uint64_t audio_end, TTagRegion* region) {
  TBytes bytes;
  const uint64_t room = size - kSaveTrailerBytes;
  if (trailer == nullptr || trailer->length > kSaveMaxBlockBytes || trailer->length > room ||
      trailer->target < floor || trailer->target > room - trailer->length ||
      file.ReadAt(room - trailer->length, trailer->length, &bytes) != 0 ||
      !save_copy_is_whole(*trailer, bytes)) {
    return false;
  }
  // The file as it will be once the save completes: the bytes before the target, then the copy.
  TTagScan scan = scan_tag_region(bytes, trailer->target + bytes.size(), floor, audio_end);
  if (!scan.complete || !scan.region.has_ape) {
    return false;
  }
  *region = std::move(scan.region);
  return true;
}

}  // namespace

int read_saved_tag_file(const TFileDescriptor& file, bool require_header, TTagFileView* view) {
  if (int status = read_tag_file(file, require_header, view); status != kApeSuccess) {
    return status;
  }
  const uint64_t size = view->file_size;
  const uint64_t floor = view->header ? std::min(tag_floor(*view->header), size) : 0;
  const uint64_t audio_end = view->header ? tag_audio_end(*view->header) : 0;
  if (view->region.has_ape || view->region.has_id3v1) {
    return kApeSuccess;
  }
  TBytes last;
  if (size >= kSaveTrailerBytes &&
      file.ReadAt(size - kSaveTrailerBytes, kSaveTrailerBytes, &last) != 0) {
    return kApeErrorReadFile;
  }
  const auto trailer = parse_save_trailer(last);
  if (read_copy(file, size, trailer ? &*trailer : nullptr, floor, audio_end, &view->region)) {
    return kApeSuccess;
  }
  // No tag at the end: perhaps the debris of a copy whose append was cut off. Such a file ends
  // in the copy's trailer or at a page boundary (the kernel stops a write, and the disk keeps
  // it, page by page), so other files without a tag cost no search. Where the header declares
  // the end of the audio, the old tag starts there, and the search costs little.
  if (!trailer && size % kPageBytes != 0) {
    return kApeSuccess;
  }
  const uint64_t lowest = std::max(
      {floor, std::min(audio_end, size), size > kRecoveryReach ? size - kRecoveryReach : 0});
  TBytes window;
  if (file.ReadAt(lowest, size - lowest, &window) != 0) {
    return kApeErrorReadFile;
  }
  if (auto region = find_tag_before_debris(window, size, floor, audio_end)) {
    view->region = std::move(*region);
  }
  return kApeSuccess;
}
