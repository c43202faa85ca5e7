#include "hostdata/host_list_file.h"

#include <cstddef>
#include <optional>
#include <system_error>

#include "hostdata/atomic_file.h"
#include "hostdata/code_page.h"
#include "hostdata/text_number.h"

namespace quorbel {
namespace {

constexpr char kRowStart = 0x00;
constexpr char kLaterColumn = 0x01;
constexpr char kTrailerSeparator = 0x5C;  // '\'
// Image index -1, state picture -1, indent 0, item value 0: the writer
// always stores these, whatever the row holds.
constexpr std::string_view kFixedFields{"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0\0\0\0\0\0", 16};
constexpr std::size_t kRecordHeadSize = 1 + kFixedFields.size();

// A cell text is a C string in the file, so it ends at its first NUL.
std::string_view beforeFirstNul(std::string_view text) { return text.substr(0, text.find('\0')); }

void appendRecord(std::string& bytes, char kind, std::string_view text) {
    bytes.push_back(kind);
    bytes.append(kFixedFields);
    bytes.append(toCodePage936(beforeFirstNul(text)));
    bytes.push_back('\0');
    bytes.push_back('\0');  // empty second text (hover tip)
}

std::int32_t readInt32LittleEndian(std::string_view bytes) {
    std::uint32_t value = 0;
    for (int index = 3; index >= 0; --index) value = (value << 8) | static_cast<unsigned char>(bytes[index]);
    return static_cast<std::int32_t>(value);
}

// A NUL-terminated text starting at `position`. Absent when the stream ends
// before its terminator.
struct TerminatedText {
    std::string_view bytes;
    std::size_t next = 0;  // position after the terminator
};

std::optional<TerminatedText> terminatedTextAt(std::string_view stream, std::size_t position) {
    const std::size_t end = stream.find('\0', position);
    if (end == std::string_view::npos) return std::nullopt;
    return TerminatedText{stream.substr(position, end - position), end + 1};
}

// Walks the records from the start of the file. A record starts with its
// kind byte; the trailer starts at the first record position holding '\'.
// Walking, rather than searching for the first '\', lets a backslash, or a
// double-byte character whose second byte is 0x5C, live inside a cell text.
class RecordReader {
public:
    explicit RecordReader(std::string_view bytes) : bytes_(bytes) {}

    // Reads every record; returns where the trailer starts (the end of the
    // bytes when there is none).
    std::size_t readRecords(std::vector<CellRecord>& records) {
        while (position_ < bytes_.size()) {
            if (bytes_[position_] == kTrailerSeparator) return position_;
            if (!readRecord(records)) break;
        }
        dropUnfinishedRow(records);
        return bytes_.size();
    }

private:
    // False, adding nothing, when the stream ends inside the record's head
    // or its text: a cut text is never kept.
    bool readRecord(std::vector<CellRecord>& records) {
        if (bytes_.size() - position_ < kRecordHeadSize) return false;
        const auto text = terminatedTextAt(bytes_, position_ + kRecordHeadSize);
        if (!text) return false;
        CellRecord record;
        record.kind = static_cast<std::uint8_t>(bytes_[position_]);
        const std::string_view head = bytes_.substr(position_ + 1, kFixedFields.size());
        record.imageIndex = readInt32LittleEndian(head.substr(0, 4));
        record.statePicture = readInt32LittleEndian(head.substr(4, 4));
        record.indent = readInt32LittleEndian(head.substr(8, 4));
        record.itemValue = readInt32LittleEndian(head.substr(12, 4));
        record.text = fromCodePage936(text->bytes);
        // A hover tip cut short is dropped; the cell text is whole.
        const auto secondText = terminatedTextAt(bytes_, text->next);
        if (secondText) record.secondText = fromCodePage936(secondText->bytes);
        position_ = secondText ? secondText->next : bytes_.size();
        records.push_back(std::move(record));
        return true;
    }

    // Records that end without a trailer were cut short, or never written
    // whole. The last row is kept only when its name and address came
    // through: a row without its address would be probed as missing and
    // could set off a shutdown. Later columns are cleared on loading anyway.
    static void dropUnfinishedRow(std::vector<CellRecord>& records) {
        std::size_t rowStart = records.size();
        while (rowStart > 0 && records[rowStart - 1].kind != kRowStart) --rowStart;
        if (rowStart == 0) return;  // no row at all
        --rowStart;
        if (records.size() - rowStart <= AddressColumn) {
            records.erase(records.begin() + static_cast<std::ptrdiff_t>(rowStart), records.end());
        }
    }

    std::string_view bytes_;
    std::size_t position_ = 0;
};

bool isLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Splits the trailer at every '\' that is not the second byte of a
// double-byte character. An empty piece after the last separator is dropped.
std::vector<std::string_view> splitTrailer(std::string_view trailer) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    std::size_t position = 0;
    while (position < trailer.size()) {
        const auto c = static_cast<unsigned char>(trailer[position]);
        if (isLeadByte(c) && position + 1 < trailer.size()) {
            position += 2;
        } else if (c == kTrailerSeparator) {
            pieces.push_back(trailer.substr(start, position - start));
            start = ++position;
        } else {
            ++position;
        }
    }
    if (start < trailer.size()) pieces.push_back(trailer.substr(start));
    return pieces;
}

}  // namespace

std::string encodeHostList(const std::vector<IdentifiedRow>& rows) {
    std::string bytes;
    std::string trailer;
    for (const IdentifiedRow& identified : rows) {
        const HostRow& row = identified.row;
        for (int column = 0; column < kColumnCount; ++column) {
            appendRecord(bytes, column == NameColumn ? kRowStart : kLaterColumn, row.cells[column]);
        }
        trailer.push_back(kTrailerSeparator);
        trailer.append(integerToText(row.itemValue));
    }
    return bytes + trailer;
}

HostListContents decodeHostList(std::string_view bytes) {
    HostListContents contents;
    RecordReader reader(bytes);
    const std::size_t trailerStart = reader.readRecords(contents.records);
    // The trailer is every byte after its first '\', as text up to a NUL.
    const std::string_view trailer =
        trailerStart < bytes.size() ? beforeFirstNul(bytes.substr(trailerStart + 1)) : std::string_view{};
    // Each piece is a decimal number; digits stop at a fraction, which drops
    // it toward zero, and text that is not a number reads 0.
    for (const std::string_view piece : splitTrailer(trailer)) {
        contents.itemValues.push_back(textToInteger(fromCodePage936(piece)));
    }
    return contents;
}

Status save(const HostTable& table, const std::filesystem::path& path) {
    return replaceFileAtomically(path, encodeHostList(table.snapshot()));
}

HostListContents load(const std::filesystem::path& path) {
    const FileRead file = readWholeFile(path);
    if (file.state != FileState::Read) return {};
    return decodeHostList(file.bytes);
}

bool exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) && !error;
}

void applyHostList(HostTable& table, const HostListContents& contents) {
    table.replaceAll(contents.records);
    const int rowCount = table.rowCount();
    for (std::size_t index = 0; index < contents.itemValues.size() && static_cast<int>(index) < rowCount; ++index) {
        table.setItemValue(static_cast<int>(index), contents.itemValues[index]);
    }
    table.resetForMonitoring();
}

}  // namespace quorbel
