#include "probe/record_queue.h"

#include "probe/messages.h"

namespace kv::probe {
namespace {

// Records that waited are handed over in pieces of about this size.
constexpr size_t BatchBytes = 64 * 1024;

std::string RecordsText(int64_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

std::string DroppedText(int64_t count) {
    return RecordsText(count) + (count == 1 ? " was" : " were") + " dropped";
}

}  // namespace

RecordQueue::RecordQueue(std::FILE* out, size_t capacity)
    : file_(native::FileOfStream(out)), capacity_(capacity) {}

void RecordQueue::head(std::string line) {
    head_ = std::move(line) + "\n";
}

bool RecordQueue::write(std::vector<std::string> records) {
    if (readerGone_) return true;
    // What waits goes first, so that no record is dropped for room that has come back.
    if (!waiting_.empty()) writeOut();
    for (std::string& record : records) {
        waiting_.push_back(std::move(record) + "\n");
        if (waiting_.size() <= capacity_) continue;
        waiting_.pop_front();
        ++dropped_;
    }
    return writeOut();
}

bool RecordQueue::writeOut() {
    if (!head_.empty()) {
        if (!native::WriteWhole(file_, head_.data(), head_.size())) return refused();
        head_.clear();
    }
    while (!waiting_.empty()) {
        // All that waits in one piece; when that is refused, the first record alone, as a
        // disk with little room may still take a few.
        std::string batch;
        size_t count = 0;
        while (count < waiting_.size() && batch.size() < BatchBytes) batch += waiting_[count++];
        if (!native::WriteWhole(file_, batch.data(), batch.size())) {
            if (count == 1) return refused();
            count = 1;
            if (!native::WriteWhole(file_, waiting_.front().data(), waiting_.front().size()))
                return refused();
        }
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<ptrdiff_t>(count));
    }
    if (failing_) {
        const int64_t unsaid = dropped_ - droppedSaid_;
        Message("the records are written again" + (unsaid > 0 ? "; " + DroppedText(unsaid) : ""));
        droppedSaid_ = dropped_;
        failing_ = false;
    }
    return true;
}

bool RecordQueue::refused() {
    if (native::ReaderGone(file_)) {
        Message("the reader of standard output has gone; no more records are written");
        readerGone_ = true;
        failing_ = false;
        head_.clear();
        waiting_.clear();
        return true;
    }
    if (!failing_)
        Message("cannot write the records to standard output; up to " + std::to_string(capacity_) +
                " wait until it takes them");
    failing_ = true;
    return false;
}

bool RecordQueue::finish() {
    const bool written = writeOut();
    const int64_t lost = static_cast<int64_t>(waiting_.size()) + dropped_ - droppedSaid_;
    if (lost > 0) Message(RecordsText(lost) + " could not be written");
    return written && dropped_ == 0;
}

}  // namespace kv::probe
