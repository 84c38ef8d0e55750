#include "ProgramFile.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orvo {
namespace {

constexpr char kPluginId[] = "OrvS";
constexpr int32_t kFileVersion = 1;
constexpr int32_t kPluginVersion = 1;
constexpr size_t kNameBytes = 28;        // the file's name field
constexpr size_t kBankReserved = 128;    // zeros after a bank's header
constexpr int32_t kMostPrograms = 1024;  // more is not a bank but damage

// Big-endian fields from a bounded byte range; every read checks the end.
class Reader {
public:
    Reader(const std::vector<uint8_t>& bytes, size_t begin, size_t end) : bytes_(bytes), at_(begin), end_(end) {}
    bool has(size_t n) const { return end_ - at_ >= n; }
    bool tag(const char* four) {
        if (!has(4) || std::memcmp(&bytes_[at_], four, 4) != 0) return false;
        at_ += 4;
        return true;
    }
    int32_t int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | bytes_[at_++];
        return static_cast<int32_t>(v);
    }
    float float32() {
        uint32_t bits = static_cast<uint32_t>(int32());
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string text(size_t n) {
        const char* from = reinterpret_cast<const char*>(&bytes_[at_]);
        at_ += n;
        return std::string(from, strnlen(from, n));
    }
    void skip(size_t n) { at_ += n; }
    size_t at() const { return at_; }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_, end_;
};

// One 'CcnK' chunk from `at`: its content's range, or false.
bool chunk(const std::vector<uint8_t>& bytes, size_t at, size_t& begin, size_t& end) {
    Reader r(bytes, at, bytes.size());
    if (!r.has(8) || !r.tag("CcnK")) return false;
    int32_t size = r.int32();
    if (size < 0 || !r.has(static_cast<size_t>(size))) return false;
    begin = r.at();
    end = begin + static_cast<size_t>(size);
    return true;
}

std::string program(const std::vector<uint8_t>& bytes, size_t at, ProgramFile& out, size_t& next) {
    size_t begin, end;
    if (!chunk(bytes, at, begin, end)) return "truncated or not a program file";
    next = end;
    Reader r(bytes, begin, end);
    if (r.has(4) && r.tag("FPCh")) return "holds a plug-in's saved state, not a program's values";
    if (!r.has(4) || !r.tag("FxCk")) return "not a program file";
    if (!r.has(8 + 8 + kNameBytes)) return "truncated";
    r.int32();  // the file version: 1 and 2 read alike
    if (!r.tag(kPluginId)) return "a program of another plug-in";
    r.int32();  // the plug-in's version
    if (r.int32() != kNumParams) return "does not hold twelve values";
    out.name = r.text(kNameBytes);
    if (!r.has(4 * kNumParams)) return "truncated";
    for (float& v : out.values) {
        v = r.float32();
        if (!(v >= 0.0f && v <= 1.0f)) return "holds a value outside 0 to 1";
    }
    return {};
}

}  // namespace

ProgramRead readProgramFile(const std::vector<uint8_t>& bytes) {
    ProgramRead read;
    size_t begin, end, next;
    if (!chunk(bytes, 0, begin, end)) {
        read.error = bytes.size() >= 4 && std::memcmp(bytes.data(), "CcnK", 4) == 0
                         ? "truncated" : "not a program or bank file";
        return read;
    }
    Reader r(bytes, begin, end);
    if (r.has(4) && r.tag("FBCh")) {
        read.error = "holds a plug-in's saved state, not programs' values";
    } else if (r.has(4) && r.tag("FxBk")) {
        if (!r.has(16 + kBankReserved)) {
            read.error = "truncated";
            return read;
        }
        r.int32();
        if (!r.tag(kPluginId)) {
            read.error = "a bank of another plug-in";
            return read;
        }
        r.int32();
        int32_t count = r.int32();
        if (count < 1 || count > kMostPrograms) {
            read.error = "holds no programs";
            return read;
        }
        r.skip(kBankReserved);
        size_t at = r.at();
        read.programs.resize(static_cast<size_t>(count));
        for (ProgramFile& p : read.programs) {
            read.error = program(bytes, at, p, next);
            if (!read.error.empty()) break;
            at = next;
        }
    } else {
        read.programs.resize(1);
        read.error = program(bytes, 0, read.programs[0], next);
    }
    if (!read.error.empty()) read.programs.clear();
    return read;
}

ProgramRead readProgramFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ProgramRead read;
        read.error = std::string("cannot open ") + path + ": " + std::strerror(errno);
        return read;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ProgramRead read = readProgramFile(bytes);
    if (!read.error.empty()) read.error = path + ": " + read.error;
    return read;
}

std::vector<uint8_t> programFileBytes(const ProgramFile& program) {
    std::vector<uint8_t> out;
    out.reserve(8 + 4 * 5 + kNameBytes + 4 * kNumParams);
    auto tag = [&](const char* four) { out.insert(out.end(), four, four + 4); };
    auto int32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
    };
    tag("CcnK");
    int32(4 * 5 + kNameBytes + 4 * kNumParams);
    tag("FxCk");
    int32(kFileVersion);
    tag(kPluginId);
    int32(kPluginVersion);
    int32(kNumParams);
    std::string name = program.name.substr(0, kProgramNameSize - 1);
    name.resize(kNameBytes, '\0');
    out.insert(out.end(), name.begin(), name.end());
    for (float v : program.values) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        int32(bits);
    }
    return out;
}

}  // namespace orvo
