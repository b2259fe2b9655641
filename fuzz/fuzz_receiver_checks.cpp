// The receiver checks' walk through the records of any bytes, both checks,
// and the converter's read of the input a check has opened.
#include <algorithm>

#include "engine/receiver_checks.h"
#include "engine/record_kinds.h"
#include "engine/record_scan.h"
#include "fuzz/fuzz_common.h"
#include "support/binary_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    const RecordLengthRules& kinds = record_kinds::kCheckedKinds;
    fuzz::Reset();
    const std::string path = fuzz::In("1234L26Z.SIG");
    fuzz::WriteFile(path, data, size);

    // The walk finds the records a plain walk through the bytes finds: a
    // sync byte, a kind byte with a length rule (any other is passed over
    // with its sync byte), and as many bytes as the rule gives.
    InputFile file;
    FUZZ_CHECK(file.Open(path));
    std::uint8_t record[kLongestRecord];
    std::size_t length = 0;
    std::size_t at = 0;
    for (;;) {
        while (at < size && data[at] != 0x8B) ++at;
        std::size_t expected = 0;  // none
        if (at + 2 < size && kinds[data[at + 1]] == nullptr) {
            at += 2;
            continue;
        }
        if (at + 2 < size)
            expected = kinds[data[at + 1]](data[at + 2]);
        if (expected > size - at)
            expected = 0;
        const RecordFound found = NextRecordOfKinds(file, kinds, record, length);
        if (expected == 0) {
            FUZZ_CHECK(found == RecordFound::None);
            break;
        }
        FUZZ_CHECK(found != RecordFound::None);
        FUZZ_CHECK(length == expected && length <= kLongestRecord);
        FUZZ_CHECK(std::equal(record, record + length, data + at));
        FUZZ_CHECK(fuzz::CheckValueHolds(record, length) == (found == RecordFound::Valid));
        at += length;
        FUZZ_CHECK(file.Position() == at);
    }

    // Both checks; after either, the input they opened reads whole from its
    // start, as the converter reads it.
    std::vector<std::string> messages;
    FileLog log(nullptr, messages);
    const FileAt input = LocateFile(path).value;
    InputFile checked;
    const std::int32_t type = CheckRmgReceiverType(input, checked, log);
    FUZZ_CHECK(type == 0 || type == 74 || type == 77 || type == 80);
    FUZZ_CHECK(checked.Rewind());
    fuzz::Bytes again(size + 1);
    FUZZ_CHECK(checked.Read(again.data(), again.size()) == size);
    FUZZ_CHECK(std::equal(data, data + size, again.begin()));
    (void)IsRolloverPointSigFile(input, checked, log);
    FUZZ_CHECK(checked.Rewind() && checked.Position() == 0);
    FUZZ_CHECK(checked.Read(again.data(), again.size()) == size);
    FUZZ_CHECK(std::equal(data, data + size, again.begin()));
    return 0;
}
