// The record reader and both receiver checks on any bytes.
#include "engine/receiver_checks.h"
#include "engine/record_reader.h"
#include "fuzz/fuzz_common.h"
#include "support/binary_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    fuzz::Reset();
    const std::string path = fuzz::In("1234L26Z.SIG");
    fuzz::WriteFile(path, data, size);

    InputFile file;
    FUZZ_CHECK(file.Open(path));
    std::uint8_t buffer[kRecordBufferSize];
    std::size_t stored = 0;
    std::uint8_t kind = 0;
    std::uint64_t before = file.Position();
    for (;;) {
        const RecordReadResult result = ReadNextRecord(file, buffer, stored, kind);
        FUZZ_CHECK(stored <= kRecordBufferSize);
        if (result == kRecordMatched || result == kRecordMismatched) {
            // A whole record of a known kind, of its table length.
            FUZZ_CHECK(IsKnownRecordKind(kind) && buffer[0] == 0x8B && buffer[1] == kind);
            FUZZ_CHECK(stored == RecordLength(kind, buffer[2]));
            FUZZ_CHECK(fuzz::CheckValueHolds(buffer, stored) == (result == kRecordMatched));
            FUZZ_CHECK(file.Position() > before);
            before = file.Position();
            continue;
        }
        FUZZ_CHECK(result == kRecordIncomplete);
        break;
    }
    std::vector<std::string> messages;
    FileLog log(nullptr, messages);
    const FileAt input = LocateFile(path).value;
    const std::int32_t type = CheckRmgReceiverType(input, log);
    FUZZ_CHECK(type == 0 || type == 74 || type == 77 || type == 80);
    (void)IsRolloverPointSigFile(input, log);
    return 0;
}
