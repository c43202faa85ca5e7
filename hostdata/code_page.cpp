#include "hostdata/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <utility>

namespace quorbel {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr std::string_view kEuroSign = "\xE2\x82\xAC";

// One iconv conversion descriptor, closed when it goes. Each thread keeps
// its own, so conversions need no lock and open the converter only once.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(::iconv_open(to, from)) {}
    ~Converter() {
        if (usable()) ::iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool usable() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return handle_; }

private:
    iconv_t handle_;
};

// What one iconv() step did: bytes consumed and produced, and why it stopped.
struct Step {
    std::size_t consumed = 0;
    int error = 0;  // 0 when all input was converted
};

Step convertStep(const Converter& converter, std::string_view input, std::string& output) {
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[4096];
    Step step;
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(converter.handle(), &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            step.error = errno;
            break;
        }
    }
    step.consumed = input.size() - inLeft;
    return step;
}

// Converts `input`, writing `replacement` for each byte the converter
// rejects and going on after it.
std::string convertAll(const Converter& converter, std::string_view input, std::string_view replacement,
                       std::optional<char> specialByte = std::nullopt, std::string_view specialText = {}) {
    std::string output;
    output.reserve(input.size() * 3 / 2);
    ::iconv(converter.handle(), nullptr, nullptr, nullptr, nullptr);
    while (!input.empty()) {
        const Step step = convertStep(converter, input, output);
        input.remove_prefix(step.consumed);
        if (input.empty()) break;
        output.append(specialByte && input.front() == *specialByte ? specialText : replacement);
        input.remove_prefix(1);
        ::iconv(converter.handle(), nullptr, nullptr, nullptr, nullptr);
    }
    return output;
}

// Without the iconv modules only ASCII can be carried across.
std::string asciiOnly(std::string_view input, std::string_view replacement) {
    std::string output;
    for (const char c : input) {
        if (static_cast<unsigned char>(c) < 0x80) {
            output.push_back(c);
        } else {
            output.append(replacement);
        }
    }
    return output;
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The second byte's range depends on the lead byte; this rules out overlong
// forms, surrogates and values past U+10FFFF.
bool secondByteAllowed(unsigned char lead, unsigned char second) {
    switch (lead) {
        case 0xE0: return second >= 0xA0 && second <= 0xBF;
        case 0xED: return second >= 0x80 && second <= 0x9F;
        case 0xF0: return second >= 0x90 && second <= 0xBF;
        case 0xF4: return second >= 0x80 && second <= 0x8F;
        default: return isContinuation(second);
    }
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

const Converter& encoder() {
    thread_local const Converter converter("GB18030", "UTF-8");
    return converter;
}

const Converter& decoder() {
    thread_local const Converter converter("UTF-8", "GB18030");
    return converter;
}

}  // namespace

// ASCII is the same in all three encodings, and addresses are ASCII.
std::string toCodePage936(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    const Converter& converter = encoder();
    if (!converter.usable()) return asciiOnly(utf8, "?");
    return convertAll(converter, utf8, "?");
}

std::string fromCodePage936(std::string_view bytes) {
    if (isAscii(bytes)) return std::string(bytes);
    const Converter& converter = decoder();
    if (!converter.usable()) return asciiOnly(bytes, kReplacementCharacter);
    return convertAll(converter, bytes, kReplacementCharacter, '\x80', kEuroSign);
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t position = 0;
    while (position < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[position]);
        const std::size_t length = sequenceLength(lead);
        if (length == 0 || position + length > bytes.size()) return false;
        if (length > 1 && !secondByteAllowed(lead, static_cast<unsigned char>(bytes[position + 1]))) return false;
        for (std::size_t index = 2; index < length; ++index) {
            if (!isContinuation(static_cast<unsigned char>(bytes[position + index]))) return false;
        }
        position += length;
    }
    return true;
}

std::string textFileAsUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    // Windows also keeps such files in UTF-16, marked by a byte order mark.
    for (const auto& [mark, encoding] : {std::pair{std::string_view("\xFF\xFE"), "UTF-16LE"},
                                         std::pair{std::string_view("\xFE\xFF"), "UTF-16BE"}}) {
        if (!bytes.starts_with(mark)) continue;
        const Converter converter("UTF-8", encoding);
        if (!converter.usable()) break;
        return convertAll(converter, bytes.substr(mark.size()), kReplacementCharacter);
    }
    return fromCodePage936(bytes);
}

}  // namespace quorbel
