#include <gtest/gtest.h>

#include <vector>

#include "platform/ScsiCommands.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes bytes(const std::array<std::uint8_t, N>& a) {
  return Bytes(a.begin(), a.end());
}

TEST(ScsiCdb, InquiryAsksForAllocationLength) {
  EXPECT_EQ(bytes(inquiryCdb(96)), (Bytes{0x12, 0, 0, 0, 96, 0}));
}

TEST(ScsiCdb, ReadCapacity10IsOpcodeAndZeros) {
  EXPECT_EQ(bytes(readCapacity10Cdb()), (Bytes{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ScsiCdb, ReadCapacity16IsServiceActionInWithAllocationLength) {
  EXPECT_EQ(bytes(readCapacity16Cdb(32)),
            (Bytes{0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}));
  EXPECT_EQ(bytes(readCapacity16Cdb(0x01020304)),
            (Bytes{0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 0, 0}));
}

TEST(ScsiCdb, Read10EncodesLbaAndCountBigEndian) {
  EXPECT_EQ(bytes(read10Cdb(0x12345678, 0x0080)),
            (Bytes{0x28, 0, 0x12, 0x34, 0x56, 0x78, 0, 0x00, 0x80, 0}));
  EXPECT_EQ(bytes(read10Cdb(0xFFFFFFFF, 0xFFFF)),
            (Bytes{0x28, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0}));
}

TEST(ScsiCdb, Read16EncodesLbaAbove32BitsAndCount) {
  EXPECT_EQ(bytes(read16Cdb(0x0000000123456789ull, 0x00010080)),
            (Bytes{0x88, 0, 0x00, 0x00, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0x00, 0x01, 0x00,
                   0x80, 0, 0}));
  EXPECT_EQ(bytes(read16Cdb(0x0102030405060708ull, 1)),
            (Bytes{0x88, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 1, 0, 0}));
}

TEST(ScsiCdb, Read10FitsOnlyWithin32BitLbaAnd16BitCount) {
  EXPECT_TRUE(fitsRead10(0, 128));
  EXPECT_TRUE(fitsRead10(0xFFFFFFFFull, 1));
  EXPECT_TRUE(fitsRead10(0xFFFFFF80ull, 128));
  EXPECT_FALSE(fitsRead10(0xFFFFFF81ull, 128));  // last block past 2^32 - 1
  EXPECT_FALSE(fitsRead10(0x100000000ull, 1));
  EXPECT_FALSE(fitsRead10(0, 0x10000));
  EXPECT_FALSE(fitsRead10(0, 0));
}

Bytes inquiryReply() {
  Bytes d(36, ' ');
  d[0] = 0x00;
  d[1] = 0;
  d[2] = 6;
  d[3] = 2;
  d[4] = 31;
  d[5] = d[6] = d[7] = 0;
  const std::string v = "SEAGATE ", p = "ST3300657FC     ", r = "0006";
  std::copy(v.begin(), v.end(), d.begin() + 8);
  std::copy(p.begin(), p.end(), d.begin() + 16);
  std::copy(r.begin(), r.end(), d.begin() + 32);
  return d;
}

TEST(ScsiParse, InquiryFieldsAreTrimmed) {
  const auto inq = parseInquiry(inquiryReply());
  ASSERT_TRUE(inq);
  EXPECT_EQ(inq->peripheralType, 0);
  EXPECT_EQ(inq->peripheralQualifier, 0);
  EXPECT_EQ(inq->vendor, "SEAGATE");
  EXPECT_EQ(inq->product, "ST3300657FC");
  EXPECT_EQ(inq->revision, "0006");
}

TEST(ScsiParse, InquiryPeripheralTypeAndQualifier) {
  Bytes d = inquiryReply();
  d[0] = 0x65;  // qualifier 3, type 5
  const auto inq = parseInquiry(d);
  ASSERT_TRUE(inq);
  EXPECT_EQ(inq->peripheralType, 5);
  EXPECT_EQ(inq->peripheralQualifier, 3);
}

TEST(ScsiParse, ShortInquiryIsRejected) {
  Bytes d = inquiryReply();
  d.resize(35);
  EXPECT_FALSE(parseInquiry(d));
}

TEST(ScsiParse, ReadCapacity10GivesLastLbaPlusOne) {
  const auto cap = parseReadCapacity10(Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x08});
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->blockCount, 0x10001u);
  EXPECT_EQ(cap->blockLength, 520u);
  EXPECT_FALSE(parseReadCapacity10(Bytes{0, 0, 0, 0, 0, 0, 2}));
}

TEST(ScsiParse, ReadCapacity16GivesLastLbaPlusOneAbove32Bits) {
  Bytes d(32, 0);
  const Bytes head{0x00, 0x00, 0x00, 0x01, 0x22, 0x33, 0x44, 0x55, 0x00, 0x00, 0x02, 0x10};
  std::copy(head.begin(), head.end(), d.begin());
  const auto cap = parseReadCapacity16(d);
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->blockCount, 0x0000000122334456ull);
  EXPECT_EQ(cap->blockLength, 528u);
  EXPECT_FALSE(parseReadCapacity16(Bytes(11, 0)));
}

TEST(ScsiSense, FixedFormatWithValidInformation) {
  // Medium error, unrecovered read error, failing LBA 0x00012345.
  const Bytes s{0xF0, 0, 0x03, 0x00, 0x01, 0x23, 0x45, 10, 0, 0, 0, 0, 0x11, 0x00, 0, 0, 0, 0};
  const auto p = parseSense(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->responseCode, 0x70);
  EXPECT_EQ(p->senseKey, 3);
  EXPECT_EQ(p->asc, 0x11);
  EXPECT_EQ(p->ascq, 0x00);
  EXPECT_TRUE(p->informationValid);
  EXPECT_EQ(p->information, 0x12345u);
}

TEST(ScsiSense, FixedFormatWithoutValidBit) {
  const Bytes s{0x71, 0, 0x06, 0, 0, 0, 0x07, 10, 0, 0, 0, 0, 0x29, 0x02, 0, 0, 0, 0};
  const auto p = parseSense(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->responseCode, 0x71);
  EXPECT_EQ(p->senseKey, 6);
  EXPECT_EQ(p->asc, 0x29);
  EXPECT_EQ(p->ascq, 0x02);
  EXPECT_FALSE(p->informationValid);
}

TEST(ScsiSense, DescriptorFormatWithInformationDescriptor) {
  // Header, then a sense-key-specific descriptor (type 2), then the
  // information descriptor (type 0) holding a 64-bit LBA.
  const Bytes s{0x72, 0x03, 0x11, 0x04, 0, 0, 0, 20,
                0x02, 0x06, 0, 0, 0x80, 0, 0, 0,
                0x00, 0x0A, 0x80, 0, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x10, 0x01};
  const auto p = parseSense(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->responseCode, 0x72);
  EXPECT_EQ(p->senseKey, 3);
  EXPECT_EQ(p->asc, 0x11);
  EXPECT_EQ(p->ascq, 0x04);
  EXPECT_TRUE(p->informationValid);
  EXPECT_EQ(p->information, 0x0000000200001001ull);
}

TEST(ScsiSense, DescriptorFormatWithoutDescriptors) {
  const Bytes s{0x73, 0x05, 0x24, 0x00, 0, 0, 0, 0};
  const auto p = parseSense(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->senseKey, 5);
  EXPECT_EQ(p->asc, 0x24);
  EXPECT_FALSE(p->informationValid);
}

TEST(ScsiSense, TruncatedDescriptorIsIgnored) {
  // Additional length claims a full information descriptor, but the bytes end early.
  const Bytes s{0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0};
  const auto p = parseSense(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->senseKey, 3);
  EXPECT_FALSE(p->informationValid);
}

TEST(ScsiSense, EmptyOrUnknownIsRejected) {
  EXPECT_FALSE(parseSense(Bytes{}));
  EXPECT_FALSE(parseSense(Bytes{0x7F, 0, 3, 0}));
}

ScsiResult checkCondition(Bytes sense) {
  ScsiResult r;
  r.status = 2;
  r.driverStatus = 0x08;
  r.sense = std::move(sense);
  return r;
}

TEST(ScsiClassify, GoodIsNone) {
  EXPECT_EQ(classify(ScsiResult{}).error, ScsiError::None);
}

TEST(ScsiClassify, MediumErrorCarriesLba) {
  const auto o = classify(
      checkCondition({0xF0, 0, 0x03, 0, 0, 0x01, 0x00, 10, 0, 0, 0, 0, 0x11, 0, 0, 0, 0, 0}));
  EXPECT_EQ(o.error, ScsiError::MediumError);
  ASSERT_TRUE(o.lba);
  EXPECT_EQ(*o.lba, 0x100u);
}

TEST(ScsiClassify, SenseKeysMapToCategories) {
  auto key = [](std::uint8_t k, std::uint8_t asc) {
    return classify(checkCondition({0x70, 0, k, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, 0, 0, 0, 0, 0}))
        .error;
  };
  EXPECT_EQ(key(0x1, 0x11), ScsiError::MediumError);  // reported but not recovered
  EXPECT_EQ(key(0x1, 0x17), ScsiError::None);         // recovered with retries
  EXPECT_EQ(key(0x2, 0x04), ScsiError::NotReady);
  EXPECT_EQ(key(0x3, 0x11), ScsiError::MediumError);
  EXPECT_EQ(key(0x4, 0x44), ScsiError::Other);
  EXPECT_EQ(key(0x5, 0x20), ScsiError::IllegalRequest);
  EXPECT_EQ(key(0x6, 0x29), ScsiError::UnitAttention);
}

TEST(ScsiClassify, TransportFailures) {
  ScsiResult r;
  r.osError = 5;
  EXPECT_EQ(classify(r).error, ScsiError::Transport);
  r = ScsiResult{};
  r.hostStatus = 0x01;  // no connect
  EXPECT_EQ(classify(r).error, ScsiError::Transport);
  r = ScsiResult{};
  r.driverStatus = 0x06;  // timeout
  EXPECT_EQ(classify(r).error, ScsiError::Transport);
}

TEST(ScsiClassify, OtherStatusesAndMissingSense) {
  ScsiResult busy;
  busy.status = 0x08;
  EXPECT_EQ(classify(busy).error, ScsiError::Other);
  EXPECT_EQ(classify(checkCondition({})).error, ScsiError::Other);
}

}  // namespace
}  // namespace mdi
