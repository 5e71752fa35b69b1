#include "encode/lzh_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "encode/bit_output.h"
#include "encode/block_encoder.h"
#include "encode/match_finder.h"

namespace lzh {

const Method* methodFor(char digit) {
    if (digit == '4') return nullptr;
    for (const Method& method : LZH_METHODS)
        if (method.digit == digit) return &method;
    return nullptr;
}

namespace {

const uint64_t SEGMENT = 65536;        // input positions parsed at a time
const size_t PENDING_TOKENS = 262144;  // tokens gathered before blocks are chosen
const size_t MATCHES_KEPT = 16;        // per position, the longest ones

struct Tuning {
    unsigned pathRounds;      // cheapest paths per segment, each priced by the one before
    unsigned maxChain;        // candidates looked at per position
    unsigned niceLength;      // a match this long ends the search
    unsigned longMatch;       // inside a copy this long no position is searched
    size_t blockGranularity;  // tokens between candidate block ends
    unsigned refineSteps;     // finer steps per chunk in which a chosen end may move; 0 for none
    bool pricedByBlocks;      // a last path priced block by block
};

// The default level ends a search at a 48-byte match and skips the search
// inside a copy of 24 or more, whose inner positions seldom lead anywhere
// cheaper; -lh5-'s 8 KB window keeps chains short, so it affords more
// candidates a position than the larger windows do.
Tuning tuningFor(Effort effort, const Method& method) {
    if (effort == Effort::best) return {2, 256, MAX_COPY_LENGTH, 192, MAX_BLOCK_SYMBOLS / 64, 16, true};
    return {1, method.dictionarySize() <= 8192 ? 24u : 16u, 48, 24, MAX_BLOCK_SYMBOLS / 16, 0, false};
}

// Costs are counted in sixteenths of a bit, so that a path's price follows
// the symbols' frequencies more closely than whole code lengths would.
const uint32_t COST_SCALE = 16;

// What each symbol would cost under the counts of a path: its share of the
// symbols in bits, between the 1 and 16 bits a code length can be. A symbol
// not yet seen is priced two bits above one seen once, for the code-length
// entry it would add to the block's header.
void entropyCosts(const uint32_t* counts, size_t size, uint32_t* costs) {
    double total = 0;
    for (size_t i = 0; i < size; ++i) total += counts[i];
    double all = std::log2(std::max(total, 1.0));
    for (size_t i = 0; i < size; ++i) {
        double bits = counts[i] ? all - std::log2(counts[i]) : all + 2;
        costs[i] = static_cast<uint32_t>(std::clamp(bits, 1.0, double(MAX_CODE_LENGTH)) * COST_SCALE + 0.5);
    }
}

struct CostModel {
    uint32_t literal[LITERAL_COUNT];
    uint32_t position[MAX_POSITION_CODES];

    CostModel(const SymbolCounts& counts, const Method& method) {
        entropyCosts(counts.literal.data(), LITERAL_COUNT, literal);
        entropyCosts(counts.position.data(), method.positionCodesWritten, position);
        for (unsigned p = 0; p < MAX_POSITION_CODES; ++p)
            position[p] =
                p < method.positionCodesWritten ? position[p] + positionExtraBits(p) * COST_SCALE : 64 * COST_SCALE;
    }
};

class Encoder {
public:
    Encoder(const Method& method, Effort effort, const ByteReader& read, const ByteWriter& write)
        : method_(method),
          tuning_(tuningFor(effort, method)),
          read_(read),
          write_(write),
          finder_(method, tuning_.maxChain, tuning_.niceLength),
          buffer_(method.dictionarySize() + SEGMENT) {}

    EncodeResult run() {
        uint64_t pos = 0;
        for (;;) {
            fill(pos);
            if (pos >= end_ || result_.stopped) break;
            uint64_t segmentEnd = std::min(pos + SEGMENT, end_);
            pos = parseSegment(pos, segmentEnd);
        }
        chooseBlocks();
        bits_.finish();
        drain();
        result_.inputBytes = end_;
        return result_;
    }

private:
    // Keeps the last dictionary before pos and reads on until the buffer is
    // full, so the next segment and every copy source lie in memory.
    void fill(uint64_t pos) {
        uint64_t keep = pos > method_.dictionarySize() ? pos - method_.dictionarySize() : 0;
        if (keep > base_) {
            std::memmove(buffer_.data(), buffer_.data() + (keep - base_), end_ - keep);
            base_ = keep;
        }
        while (!inputDone_ && end_ - base_ < buffer_.size()) {
            size_t got = read_(buffer_.data() + (end_ - base_), buffer_.size() - (end_ - base_));
            if (got == 0) inputDone_ = true;
            end_ += got;
        }
        finder_.setWindow(buffer_.data(), base_, end_);
    }

    uint8_t byteAt(uint64_t pos) const { return buffer_[pos - base_]; }
    unsigned room(uint64_t pos, uint64_t limit) const {
        return static_cast<unsigned>(std::min<uint64_t>(MAX_COPY_LENGTH, limit - pos));
    }
    void push(const Token& token) {
        pending_.push_back(token);
        if (pending_.size() == PENDING_TOKENS) chooseBlocks();
    }

    // The cheapest path through the segment under a cost model: the first
    // priced by the last segment's path (by a greedy parse at the start),
    // each further one by the path before. Copies end at the segment's end,
    // so the next one starts afresh.
    uint64_t parseSegment(uint64_t start, uint64_t segmentEnd) {
        size_t n = static_cast<size_t>(segmentEnd - start);
        matches_.clear();
        firstMatch_.assign(n + 1, 0);
        uint64_t searchFrom = start;
        for (size_t j = 0; j < n; ++j) {
            uint64_t pos = start + j;
            firstMatch_[j] = static_cast<uint32_t>(matches_.size());
            if (pos >= searchFrom) {
                size_t before = matches_.size();
                unsigned longest = finder_.find(pos, room(pos, segmentEnd), matches_);
                if (matches_.size() - before > MATCHES_KEPT)
                    matches_.erase(matches_.begin() + static_cast<std::ptrdiff_t>(before),
                                   matches_.end() - static_cast<std::ptrdiff_t>(MATCHES_KEPT));
                if (longest >= tuning_.longMatch) searchFrom = pos + longest;
            }
            finder_.insert(pos);
        }
        firstMatch_[n] = static_cast<uint32_t>(matches_.size());

        // A greedy parse prices poorly; the first segment takes one more path.
        std::vector<Token> path;
        unsigned rounds = tuning_.pathRounds;
        if (previousCounts_.tokens == 0) {
            path = greedyPath(start, n);
            ++rounds;
        }
        for (unsigned round = 0; round < rounds; ++round) {
            SymbolCounts counts;
            if (path.empty()) counts = previousCounts_;
            for (const Token& token : path) counts.add(token);
            CostModel model(counts, method_);
            size_t whole[] = {0, n + 1};
            path = cheapestPath(start, n, &model, whole);
        }
        if (tuning_.pricedByBlocks) path = pricedByBlocks(start, n, path);
        previousCounts_ = SymbolCounts();
        for (const Token& token : path) {
            previousCounts_.add(token);
            push(token);
        }
        consumed_ = segmentEnd;
        return segmentEnd;
    }

    // The path again, each stretch priced by the counts of the block it
    // would fall in.
    std::vector<Token> pricedByBlocks(uint64_t start, size_t n, const std::vector<Token>& path) {
        std::vector<size_t> ends = blockEnds(path.data(), path.size());
        if (ends.size() < 2) return path;
        std::vector<CostModel> models;
        std::vector<size_t> starts;
        size_t from = 0, position = 0;
        for (size_t to : ends) {
            SymbolCounts counts;
            starts.push_back(position);
            for (size_t i = from; i < to; ++i) {
                counts.add(path[i]);
                position += path[i].symbol < FIRST_COPY_SYMBOL ? 1 : path[i].symbol - COPY_LENGTH_BIAS;
            }
            models.emplace_back(counts, method_);
            from = to;
        }
        starts.push_back(n + 1);
        return cheapestPath(start, n, models.data(), starts.data());
    }

    std::vector<Token> greedyPath(uint64_t start, size_t n) const {
        std::vector<Token> path;
        for (size_t j = 0; j < n;) {
            if (firstMatch_[j] == firstMatch_[j + 1]) {
                path.push_back({byteAt(start + j), 0});
                ++j;
                continue;
            }
            const Match& match = matches_[firstMatch_[j + 1] - 1];
            path.push_back(
                {static_cast<uint16_t>(match.length + COPY_LENGTH_BIAS), static_cast<uint16_t>(match.distance - 1)});
            j += match.length;
        }
        return path;
    }

    // A longer match also offers every shorter length at its distance, so the
    // lengths between two kept matches take the longer one's distance.
    // Model k prices the steps from position starts[k] on; starts[0] is 0
    // and the list ends past n.
    std::vector<Token> cheapestPath(uint64_t start, size_t n, const CostModel* models, const size_t* starts) {
        size_t model = 0;
        const uint32_t unreached = std::numeric_limits<uint32_t>::max();
        cost_.assign(n + 1, unreached);
        stepLength_.assign(n + 1, 0);
        stepDistance_.assign(n + 1, 0);
        cost_[0] = 0;
        for (size_t j = 0; j < n; ++j) {
            if (j == starts[model + 1]) ++model;
            const CostModel& costs = models[model];
            uint32_t here = cost_[j];
            uint32_t viaLiteral = here + costs.literal[byteAt(start + j)];
            if (viaLiteral < cost_[j + 1]) {
                cost_[j + 1] = viaLiteral;
                stepLength_[j + 1] = 1;
            }
            unsigned length = MIN_COPY_LENGTH;
            for (uint32_t m = firstMatch_[j]; m < firstMatch_[j + 1]; ++m) {
                const Match& match = matches_[m];
                uint32_t positionCost = costs.position[positionSymbol(match.distance - 1u)];
                for (; length <= match.length; ++length) {
                    uint32_t viaCopy = here + costs.literal[length + COPY_LENGTH_BIAS] + positionCost;
                    if (viaCopy < cost_[j + length]) {
                        cost_[j + length] = viaCopy;
                        stepLength_[j + length] = static_cast<uint16_t>(length);
                        stepDistance_[j + length] = match.distance;
                    }
                }
            }
        }
        std::vector<Token> path;
        for (size_t j = n; j > 0;) {
            unsigned length = stepLength_[j];
            if (length == 1) path.push_back({byteAt(start + j - 1), 0});
            else
                path.push_back(
                    {static_cast<uint16_t>(length + COPY_LENGTH_BIAS), static_cast<uint16_t>(stepDistance_[j] - 1)});
            j -= length;
        }
        std::reverse(path.begin(), path.end());
        return path;
    }

    // Blocks end at multiples of the granularity: the cheapest partition of
    // the tokens into blocks of at most MAX_BLOCK_SYMBOLS, found by trying
    // every block that can end each chunk. Returns each block's end.
    std::vector<size_t> blockEnds(const Token* tokens, size_t count) const {
        size_t step = tuning_.blockGranularity;
        size_t chunkCount = (count + step - 1) / step;
        std::vector<SymbolCounts> chunks(chunkCount);
        for (size_t i = 0; i < count; ++i) chunks[i / step].add(tokens[i]);
        std::vector<uint64_t> cheapest(chunkCount + 1, std::numeric_limits<uint64_t>::max());
        std::vector<size_t> blockStart(chunkCount + 1, 0);
        cheapest[0] = 0;
        for (size_t end = 1; end <= chunkCount; ++end) {
            SymbolCounts block;
            for (size_t start = end; start-- > 0;) {
                block.add(chunks[start]);
                if (block.tokens > MAX_BLOCK_SYMBOLS) break;
                uint64_t bits = cheapest[start] + blockBits(block, method_);
                if (bits < cheapest[end]) {
                    cheapest[end] = bits;
                    blockStart[end] = start;
                }
            }
        }
        std::vector<size_t> ends;
        for (size_t end = chunkCount; end > 0; end = blockStart[end]) ends.push_back(std::min(count, end * step));
        std::reverse(ends.begin(), ends.end());
        if (tuning_.refineSteps) refineEnds(tokens, ends);
        return ends;
    }

    // The chunks only approximate where the symbols' mix changes: each end
    // between two blocks then moves in finer steps, up to a chunk either
    // way, to where the two blocks cost the least together.
    void refineEnds(const Token* tokens, std::vector<size_t>& ends) const {
        size_t fine = std::max<size_t>(1, tuning_.blockGranularity / tuning_.refineSteps);
        size_t reach = fine * tuning_.refineSteps;
        for (size_t i = 0; i + 1 < ends.size(); ++i) {
            size_t from = i == 0 ? 0 : ends[i - 1], to = ends[i + 1];
            // The grid goes through the chunk's end, so moving is never worse.
            size_t lowest = ends[i] - std::min(reach, (ends[i] - from - 1) / fine * fine);
            size_t highest = std::min(ends[i] + reach, to - 1);
            SymbolCounts left, right;
            for (size_t t = from; t < lowest; ++t) left.add(tokens[t]);
            for (size_t t = lowest; t < to; ++t) right.add(tokens[t]);
            uint64_t cheapest = std::numeric_limits<uint64_t>::max();
            for (size_t end = lowest; end <= highest; end += fine) {
                for (size_t t = end - (end > lowest ? fine : 0); t < end; ++t) {
                    left.add(tokens[t]);
                    right.remove(tokens[t]);
                }
                if (left.tokens > MAX_BLOCK_SYMBOLS) break;
                if (right.tokens > MAX_BLOCK_SYMBOLS) continue;
                uint64_t bits = blockBits(left, method_) + blockBits(right, method_);
                if (bits < cheapest) {
                    cheapest = bits;
                    ends[i] = end;
                }
            }
        }
    }

    void chooseBlocks() {
        if (pending_.empty()) return;
        size_t from = 0;
        for (size_t to : blockEnds(pending_.data(), pending_.size())) {
            writeBlock(bits_, pending_.data() + from, to - from, method_);
            drain();
            from = to;
        }
        pending_.clear();
    }

    void drain() {
        std::vector<uint8_t>& bytes = bits_.bytes();
        if (bytes.empty()) return;
        if (!result_.stopped && !write_(bytes.data(), bytes.size(), consumed_)) result_.stopped = true;
        result_.packedBytes += bytes.size();
        bytes.clear();
    }

    const Method& method_;
    Tuning tuning_;
    const ByteReader& read_;
    const ByteWriter& write_;
    MatchFinder finder_;
    std::vector<uint8_t> buffer_;
    uint64_t base_ = 0;
    uint64_t end_ = 0;
    bool inputDone_ = false;
    std::vector<Token> pending_;
    SymbolCounts previousCounts_;  // of the last segment's path
    uint64_t consumed_ = 0;        // input covered by the tokens so far
    BitOutput bits_;
    EncodeResult result_;
    std::vector<Match> matches_;
    std::vector<uint32_t> firstMatch_;
    std::vector<uint32_t> cost_;
    std::vector<uint16_t> stepLength_;
    std::vector<uint16_t> stepDistance_;
};

}  // namespace

EncodeResult encodeStream(const Method& method, Effort effort, const ByteReader& read, const ByteWriter& write) {
    return Encoder(method, effort, read, write).run();
}

std::vector<uint8_t> encodeBytes(const Method& method, Effort effort, const uint8_t* data, size_t size) {
    size_t offset = 0;
    std::vector<uint8_t> packed;
    encodeStream(
        method, effort,
        [&](uint8_t* into, size_t room) {
            size_t n = std::min(room, size - offset);
            if (n) std::memcpy(into, data + offset, n);
            offset += n;
            return n;
        },
        [&](const uint8_t* bytes, size_t n, uint64_t) {
            packed.insert(packed.end(), bytes, bytes + n);
            return true;
        });
    return packed;
}

}  // namespace lzh
