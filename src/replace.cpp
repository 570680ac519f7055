#include "replace.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "search.h"

uint64_t resultCeiling(uint64_t inputSize) {
  const uint64_t eightTimes = inputSize > std::numeric_limits<uint64_t>::max() / 8
                                  ? std::numeric_limits<uint64_t>::max()
                                  : inputSize * 8;
  return std::max(kMinimumCeiling, eightTimes);
}

ReplaceStatus checkSettings(const ReplaceSettings& settings) {
  if (settings.searchText.empty())
    return ReplaceStatus::EmptySearch;
  if (settings.replacementText.find(settings.searchText) != std::string::npos)
    return ReplaceStatus::ReplacementHoldsSearch;
  return ReplaceStatus::Done;
}

bool canCascade(const ReplaceSettings& settings) {
  const std::string& s = settings.searchText;
  const std::string& r = settings.replacementText;
  // With nothing put in its place, the bytes on either side of a removed
  // occurrence meet, and may form a new one.
  if (r.empty())
    return s.size() > 1;
  for (size_t k = 1; k < s.size() && k <= r.size(); ++k) {
    // The end of the replacement starts an occurrence ...
    if (r.compare(r.size() - k, k, s, 0, k) == 0)
      return true;
    // ... or its start ends one.
    if (r.compare(0, k, s, s.size() - k, k) == 0)
      return true;
  }
  // An occurrence that holds the whole replacement, with bytes of the input
  // on both sides of it.
  for (size_t at = s.find(r, 1); at != std::string::npos; at = s.find(r, at + 1)) {
    if (at + r.size() < s.size())
      return true;
  }
  return false;
}

namespace {

// A buffer that grows without copying what it holds. It lives in address
// space reserved up front for as much as it may ever need, and only what is
// used takes memory. Where that much cannot be reserved, or it needs more
// after all, it moves to the heap and grows there.
template <typename T>
class GrowBuffer {
 public:
  explicit GrowBuffer(size_t expectedMost) {
    if (expectedMost >= kReserveFrom / sizeof(T) &&
        expectedMost < SIZE_MAX / sizeof(T)) {
      reserved_ = expectedMost * sizeof(T);
      data_ = static_cast<T*>(platform::reserveMemory(reserved_));
      if (data_ == nullptr)
        reserved_ = 0;
    }
  }
  GrowBuffer(const GrowBuffer&) = delete;
  GrowBuffer& operator=(const GrowBuffer&) = delete;
  ~GrowBuffer() {
    if (reserved_ != 0)
      platform::releaseMemory(data_, reserved_);
    else
      std::free(data_);
  }

  T* data() { return data_; }
  T& operator[](size_t i) { return data_[i]; }

  // Room for at least n elements; what was stored is kept.
  void reserve(size_t n) {
    if (n <= capacity_)
      return;
    size_t capacity = std::max(n, capacity_ * 2);
    if (reserved_ != 0 && n <= reserved_ / sizeof(T)) {
      capacity = std::min(capacity, reserved_ / sizeof(T));
      if (!platform::commitMemory(data_, capacity * sizeof(T)))
        throw std::bad_alloc();
    } else {
      void* grown = std::realloc(reserved_ != 0 ? nullptr : data_,
                                 capacity * sizeof(T));
      if (grown == nullptr)
        throw std::bad_alloc();
      if (reserved_ != 0) {
        std::memcpy(grown, data_, capacity_ * sizeof(T));
        platform::releaseMemory(data_, reserved_);
        reserved_ = 0;
      }
      data_ = static_cast<T*>(grown);
    }
    capacity_ = capacity;
  }

 private:
  static constexpr size_t kReserveFrom = size_t{1} << 20;  // bytes
  T* data_ = nullptr;
  size_t capacity_ = 0;
  size_t reserved_ = 0;  // bytes of address space, when not on the heap
};

// Gathers output slices and hands them to the sink in batches. Short pieces
// are copied together into one buffer, since a slice for each would cost more
// than the copy; long ones are passed on where they lie.
class SliceWriter {
 public:
  explicit SliceWriter(ByteSink& sink)
      : sink_(sink), buffer_(new char[kBufferSize]) {
    slices_.reserve(kMaxSlices);
  }

  // data must stay valid until the next flush().
  bool add(const char* data, size_t size) {
    if (size == 0)
      return true;
    if (size >= kCopyBelow) {
      if (slices_.size() + 1 >= kMaxSlices && !flush())
        return false;
      slices_.push_back({data, size});
      return true;
    }
    char* at = room(size);
    if (at == nullptr)
      return false;
    std::memcpy(at, data, size);
    copied(size);
    return true;
  }

  // Room for up to size bytes at the end of the copy buffer, to be filled
  // directly and then handed over with copied(). size <= kBufferSize.
  char* room(size_t size) {
    if ((used_ + size > kBufferSize || slices_.size() + 1 >= kMaxSlices) &&
        !flush())
      return nullptr;
    return buffer_.get() + used_;
  }
  void copied(size_t size) {
    if (size == 0)
      return;
    char* at = buffer_.get() + used_;
    used_ += size;
    // Extend the last slice when it ends where this copy begins.
    if (!slices_.empty() && slices_.back().data + slices_.back().size == at)
      slices_.back().size += size;
    else
      slices_.push_back({at, size});
  }

  bool flush() {
    bool ok = slices_.empty() || sink_.write(slices_.data(), slices_.size());
    slices_.clear();
    used_ = 0;
    return ok;
  }

  static constexpr size_t kBufferSize = size_t{1} << 18;

 private:
  static constexpr size_t kCopyBelow = 512;
  static constexpr size_t kMaxSlices = 1024;

  ByteSink& sink_;
  std::unique_ptr<char[]> buffer_;  // left unfilled: only what is copied is read
  size_t used_ = 0;
  std::vector<platform::Slice> slices_;
};

// Keeps count of the replacements and of the size of the text they have
// made, against the ceiling.
struct Budget {
  uint64_t ceiling;
  uint64_t size;       // of the whole text as it stands
  uint64_t inputSize;  // as far as it is known
  uint64_t replacements = 0;
  uint64_t searchLength;
  uint64_t replacementLength;

  // count replacements at once, with the same outcome as count calls of
  // replaced(). The text only grows or only shrinks as they are made, so a
  // limit passed in between is passed at the first or the last of them;
  // only then are they made one at a time, to stop where the loop would.
  ReplaceStatus replacedMany(uint64_t count) {
    if (count == 0)
      return ReplaceStatus::Done;
    const uint64_t first = size - searchLength + replacementLength;
    const uint64_t last = size - count * searchLength + count * replacementLength;
    if (replacements + count <= ceiling && first <= ceiling && last <= ceiling) {
      replacements += count;
      size = last;
      return ReplaceStatus::Done;
    }
    for (uint64_t i = 0; i < count; ++i) {
      if (const ReplaceStatus status = replaced(); status != ReplaceStatus::Done)
        return status;
    }
    return ReplaceStatus::Done;
  }
  ReplaceStatus replaced() {
    if (++replacements > ceiling)
      return ReplaceStatus::Endless;
    size = size - searchLength + replacementLength;
    return size > ceiling ? ReplaceStatus::TooLarge : ReplaceStatus::Done;
  }
  // The source held more than expected.
  void grew(uint64_t totalRead) {
    if (totalRead > inputSize) {
      size += totalRead - inputSize;
      inputSize = totalRead;
    }
  }
};

Budget makeBudget(const ReplaceSettings& settings, uint64_t inputSize,
                  const ReplaceOptions& options) {
  Budget budget;
  budget.ceiling = options.ceiling != 0 ? options.ceiling
                                        : resultCeiling(inputSize);
  budget.size = inputSize;
  budget.inputSize = inputSize;
  budget.searchLength = settings.searchText.size();
  budget.replacementLength = settings.replacementText.size();
  return budget;
}

// How many bytes from p on, up to n, equal c; eight at a time.
size_t runLength(const char* p, size_t n, char c) {
  uint64_t pattern;
  std::memset(&pattern, c, sizeof pattern);
  size_t i = 0;
  for (uint64_t word; i + 8 <= n; i += 8) {
    std::memcpy(&word, p + i, 8);
    if (word != pattern)
      break;
  }
  while (i < n && p[i] == c)
    ++i;
  return i;
}

constexpr size_t kMaxTranslation = 64;

// One byte to be replaced by a short text, with the text laid out many
// times over so that runs of the byte are filled by whole copies at once.
struct Translation {
  char from;
  size_t length;         // of the replacement
  std::string repeated;  // the replacement, copies times, and at least 16 bytes
  size_t copies;

  Translation(char f, const std::string& replacement)
      : from(f), length(replacement.size()) {
    copies = length == 0 ? 0 : std::max<size_t>(1, 4096 / length);
    for (size_t i = 0; i < copies; ++i)
      repeated += replacement;
    repeated.resize(std::max<size_t>(repeated.size(), 16));
  }
  // Bytes a block of size input bytes may take, with room to spare for the
  // fixed-size copies below.
  size_t room(size_t size) const { return size * std::max<size_t>(length, 1) + 16; }
};

// Copies in[0..size) to out with every byte t.from replaced; returns the
// bytes written and adds the replacements made to *count.
size_t translateByte(const Translation& t, const char* in, size_t size,
                     char* out, uint64_t* count) {
  char* o = out;
  for (size_t i = 0; i < size;) {
    if (in[i] != t.from) {
      const void* hit = std::memchr(in + i, t.from, size - i);
      const size_t end = hit == nullptr ? size
                                        : static_cast<size_t>(
                                              static_cast<const char*>(hit) - in);
      std::memcpy(o, in + i, end - i);
      o += end - i;
      i = end;
      continue;
    }
    size_t run = runLength(in + i, size - i, t.from);
    i += run;
    *count += run;
    if (run == 1 && t.length <= 16) {
      std::memcpy(o, t.repeated.data(), 16);  // one fixed store, partly spare
      o += t.length;
      continue;
    }
    for (; run > 0 && t.length > 0;) {
      const size_t copies = std::min(run, t.copies);
      std::memcpy(o, t.repeated.data(), copies * t.length);
      o += copies * t.length;
      run -= copies;
    }
  }
  return static_cast<size_t>(o - out);
}

// No replacement can take part in a new occurrence, so every occurrence is
// one of the input's own, found left to right without overlap. The input is
// read in chunks; the last searchLength - 1 bytes of each chunk are held back,
// since an occurrence may begin there and end in the next one.
ReplaceStatus replaceOnePass(ByteSource& source, ByteSink& sink,
                             const ReplaceSettings& settings, Budget budget,
                             size_t chunkSize) {
  const Searcher searcher = makeSearcher(settings.searchText);
  const size_t m = settings.searchText.size();
  const std::string& replacement = settings.replacementText;
  std::vector<char> buffer(m - 1 + std::max<size_t>(chunkSize, 1));
  const size_t readSize = buffer.size() - (m - 1);
  SliceWriter out(sink);
  size_t carried = 0;
  uint64_t totalRead = 0;
  // A single byte with a short replacement: a translation, copied in one
  // tight loop, since dense occurrences would cost a search and a slice each.
  const bool translate = m == 1 && replacement.size() <= kMaxTranslation;
  const Translation translation(settings.searchText[0], replacement);
  const size_t translateBlock =
      (SliceWriter::kBufferSize - 16) / std::max<size_t>(replacement.size(), 1);
  for (;;) {
    const int64_t got = source.read(buffer.data() + carried, readSize);
    if (got < 0)
      return ReplaceStatus::ReadFailed;
    totalRead += static_cast<uint64_t>(got);
    budget.grew(totalRead);
    const size_t available = carried + static_cast<size_t>(got);
    const char* data = buffer.data();
    size_t pos = 0;
    if (translate) {
      for (size_t done = 0; done < available;) {
        const size_t block = std::min(available - done, translateBlock);
        char* room = out.room(translation.room(block));
        if (room == nullptr)
          return ReplaceStatus::WriteFailed;
        uint64_t count = 0;
        out.copied(translateByte(translation, data + done, block, room, &count));
        if (ReplaceStatus status = budget.replacedMany(count);
            status != ReplaceStatus::Done)
          return status;
        done += block;
      }
      pos = available;
    } else {
      for (size_t at; (at = findFirst(searcher, data + pos,
                                      available - pos)) != kNotFound;) {
        if (ReplaceStatus status = budget.replaced();
            status != ReplaceStatus::Done)
          return status;
        if (!out.add(data + pos, at) ||
            !out.add(replacement.data(), replacement.size()))
          return ReplaceStatus::WriteFailed;
        pos += at + m;
      }
    }
    if (got == 0) {
      if (!out.add(data + pos, available - pos) || !out.flush())
        return ReplaceStatus::WriteFailed;
      return ReplaceStatus::Done;
    }
    const size_t kept = std::min(available - pos, m - 1);
    if (!out.add(data + pos, available - pos - kept) || !out.flush())
      return ReplaceStatus::WriteFailed;
    std::memmove(buffer.data(), data + available - kept, kept);
    carried = kept;
  }
}

// Automaton over the search text for the cascading engine: state k means the
// text so far ends in the first k bytes of the search text. A short search
// text gets a full transition table; a long one steps by its failure links,
// which costs no more in total than the bytes fed plus the search length for
// each replacement.
struct TableAutomaton {
  using State = uint8_t;
  static constexpr size_t kMaxLength = 255;
  std::vector<State> next;  // next[state * 256 + byte]

  explicit TableAutomaton(const std::string& s) : next(s.size() * 256, 0) {
    const size_t m = s.size();
    next[static_cast<unsigned char>(s[0])] = 1;
    size_t restart = 0;
    for (size_t j = 1; j < m; ++j) {
      const unsigned char c = static_cast<unsigned char>(s[j]);
      std::memcpy(&next[j * 256], &next[restart * 256], 256);
      next[j * 256 + c] = static_cast<State>(j + 1);
      restart = next[restart * 256 + c];
    }
  }
  State step(State k, unsigned char c) const { return next[k * 256u + c]; }
};

template <typename StateType>
struct LinkAutomaton {
  using State = StateType;
  const Searcher& searcher;

  State step(State k, unsigned char c) const {
    const std::string& s = searcher.needle;
    while (k > 0 && static_cast<unsigned char>(s[k]) != c)
      k = static_cast<State>(searcher.failure[k - 1]);
    return static_cast<unsigned char>(s[k]) == c ? static_cast<State>(k + 1) : k;
  }
};

// The text is split into what is settled (kept in out, free of occurrences)
// and what is still to come: replacement bytes not yet looked at, then the
// rest of the input. Each byte moves from the one to the other; when the
// settled text comes to end in the search text, that is the first occurrence
// of the whole text, so it is taken off again and the replacement is put in
// front of what is to come. Every state of the automaton is kept beside its
// byte, so that taking bytes off costs nothing.
template <typename Automaton>
ReplaceStatus replaceCascading(ByteSource& source, ByteSink& sink,
                               const ReplaceSettings& settings, Budget budget,
                               size_t chunkSize, const Automaton& automaton) {
  using State = typename Automaton::State;
  const size_t m = settings.searchText.size();
  const unsigned char first = static_cast<unsigned char>(settings.searchText[0]);
  const std::string reversed(settings.replacementText.rbegin(),
                             settings.replacementText.rend());

  // The text never grows past the ceiling; what the input adds to it beyond
  // its expected size is read a chunk at a time.
  const size_t most = static_cast<size_t>(
      std::min<uint64_t>(budget.ceiling, SIZE_MAX / 16) + chunkSize + 1);
  GrowBuffer<char> out(most);
  GrowBuffer<State> states(most + 1);  // states[i]: after out[0..i)
  size_t top = 0;
  GrowBuffer<char> pending(reversed.empty() ? 0 : most);  // next one last
  size_t pendingTop = 0;
  std::vector<char> input(std::max<size_t>(chunkSize, 1));
  uint64_t totalRead = 0;
  size_t unread = 0;  // bytes of the current chunk not yet settled

  // out has room for everything still to come.
  auto reserve = [&]() {
    out.reserve(top + pendingTop + unread);
    states.reserve(top + pendingTop + unread + 1);
  };
  // Moves c to the settled text; true when that completed an occurrence,
  // which is then taken off.
  auto settle = [&](unsigned char c) {
    const State next = automaton.step(states[top], c);
    if (next == m) {
      top -= m - 1;
      return true;
    }
    out[top] = static_cast<char>(c);
    states[++top] = next;
    return false;
  };
  ReplaceStatus status = ReplaceStatus::Done;
  auto replaced = [&]() {
    status = budget.replaced();
    if (!reversed.empty()) {
      pending.reserve(pendingTop + reversed.size());
      std::memcpy(&pending[pendingTop], reversed.data(), reversed.size());
      pendingTop += reversed.size();
      reserve();
    }
    return status == ReplaceStatus::Done;
  };
  // Settles what the replacements put in front, and what that leads to.
  auto settlePending = [&]() {
    while (pendingTop > 0) {
      if (settle(static_cast<unsigned char>(pending[--pendingTop])) &&
          !replaced())
        return false;
    }
    return true;
  };

  reserve();
  states[0] = 0;
  for (;;) {
    const int64_t got = source.read(input.data(), input.size());
    if (got < 0)
      return ReplaceStatus::ReadFailed;
    if (got == 0)
      break;
    totalRead += static_cast<uint64_t>(got);
    budget.grew(totalRead);
    const char* data = input.data();
    const size_t size = static_cast<size_t>(got);
    unread = size;
    reserve();
    for (size_t i = 0; i < size;) {
      const State k = states[top];
      const unsigned char c = static_cast<unsigned char>(data[i]);
      const State next = automaton.step(k, c);
      if (next == m) {
        top -= m - 1;
        ++i;
        if (reversed.empty()) {
          // Nothing is put in, so where the settled text is back in the same
          // state, more of the same byte takes off another occurrence.
          uint64_t count = 1;
          for (; i < size && static_cast<unsigned char>(data[i]) == c &&
                 states[top] == k;
               ++i, ++count)
            top -= m - 1;
          if ((status = budget.replacedMany(count)) != ReplaceStatus::Done)
            return status;
          continue;
        }
        unread = size - i;
        if (!replaced() || !settlePending())
          return status;
        continue;
      }
      if (next != k) {
        out[top] = static_cast<char>(c);
        states[++top] = next;
        ++i;
        continue;
      }
      // c leaves the automaton as it was, so a run of bytes that do the
      // same is settled at once: at rest, every byte that cannot start an
      // occurrence; otherwise more of the same byte.
      size_t end = i + 1;
      if (k == 0) {
        const void* hit = std::memchr(data + end, first, size - end);
        end = hit == nullptr ? size
                             : static_cast<size_t>(
                                   static_cast<const char*>(hit) - data);
        std::memcpy(&out[top], data + i, end - i);
      } else {
        end += runLength(data + end, size - end, static_cast<char>(c));
        std::memset(&out[top], c, end - i);
      }
      std::fill_n(&states[top + 1], end - i, k);
      top += end - i;
      i = end;
    }
    unread = 0;
  }
  const platform::Slice all{out.data(), top};
  return sink.write(&all, 1) ? ReplaceStatus::Done : ReplaceStatus::WriteFailed;
}

}  // namespace

ReplaceStatus replaceStream(ByteSource& source, ByteSink& sink,
                            const ReplaceSettings& settings, uint64_t inputSize,
                            ReplaceOptions options) {
  if (ReplaceStatus refused = checkSettings(settings);
      refused != ReplaceStatus::Done)
    return refused;
  const Budget budget = makeBudget(settings, inputSize, options);
  const size_t m = settings.searchText.size();
  if (!canCascade(settings))
    return replaceOnePass(source, sink, settings, budget, options.chunkSize);
  if (m <= TableAutomaton::kMaxLength)
    return replaceCascading(source, sink, settings, budget, options.chunkSize,
                            TableAutomaton(settings.searchText));
  const Searcher searcher = makeSearcher(settings.searchText);
  if (m <= std::numeric_limits<uint32_t>::max())
    return replaceCascading(source, sink, settings, budget, options.chunkSize,
                            LinkAutomaton<uint32_t>{searcher});
  return replaceCascading(source, sink, settings, budget, options.chunkSize,
                          LinkAutomaton<uint64_t>{searcher});
}

int64_t StringSource::read(char* buffer, size_t capacity) {
  const size_t n = std::min(capacity, text.size() - at);
  std::memcpy(buffer, text.data() + at, n);
  at += n;
  return static_cast<int64_t>(n);
}

bool StringSink::write(const platform::Slice* slices, size_t count) {
  for (size_t i = 0; i < count; ++i)
    text.append(slices[i].data, slices[i].size);
  return true;
}

ReplaceStatus replaceEvery(std::string& buffer, const ReplaceSettings& settings,
                           ReplaceOptions options) {
  StringSource source(buffer);
  StringSink sink;
  sink.text.reserve(buffer.size());
  const ReplaceStatus status =
      replaceStream(source, sink, settings, buffer.size(), options);
  if (status == ReplaceStatus::Done)
    buffer.swap(sink.text);
  return status;
}
