// The Windows-1252 code page: every byte decodes to iconv's character (the
// five bytes iconv leaves undefined to the control character of the same
// number), decoding then encoding gives the bytes back, and any text encodes
// to the reference's bytes, "?" for a character outside the code page.

#include "fuzz/fuzzsupport.h"

#include "text/windows1252.h"

namespace {

void checkAllBytesOnce()
{
    const fuzz::ReferenceCodePage &page = fuzz::codePage();
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Windows1252::decode(all);
    FUZZ_EQUAL(text, page.decode(all));
    FUZZ_EQUAL(Windows1252::encode(QStringView(text)), all);
    int undefined = 0;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        undefined += page.undefinedInIconv(byte) ? 1 : 0;
        FUZZ_CHECK(Windows1252::toUnicode(byte) == page.decode(byte), "byte " + std::to_string(b));
        FUZZ_CHECK(Windows1252::fromUnicode(page.decode(byte)) == b, "byte " + std::to_string(b));
    }
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D: a different count means iconv's table
    // is not the reference it is taken for.
    FUZZ_CHECK(undefined == 5, "iconv leaves " + std::to_string(undefined) + " bytes undefined");
}

QByteArray referenceEncode(QStringView text)
{
    QByteArray out;
    for (const char32_t cp : fuzz::codePoints(text))
        out.append(fuzz::isSurrogate(cp) ? '?' : fuzz::codePage().encode(cp));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    static const bool once = (checkAllBytesOnce(), true);
    (void)once;

    // The bytes as a file's bytes.
    const QByteArray file(reinterpret_cast<const char *>(bytes), qsizetype(size));
    const QString decoded = Windows1252::decode(file);
    FUZZ_EQUAL(decoded, fuzz::codePage().decode(file));
    FUZZ_EQUAL(Windows1252::encode(QStringView(decoded)), file);
    FUZZ_CHECK(Windows1252::isLatin1Compatible(file) == (decoded == QString::fromLatin1(file)),
               fuzz::show(file));
    // The Latin-1 path of the lists: a text stored one byte a character.
    FUZZ_EQUAL(Windows1252::encode(QLatin1StringView(file)), referenceEncode(QString::fromLatin1(file)));

    // The bytes as any UTF-16 text, lone surrogates included.
    QString text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.append(QChar(char16_t(bytes[i] | (bytes[i + 1] << 8))));
    FUZZ_EQUAL(Windows1252::encode(QStringView(text)), referenceEncode(text));
    QByteArray appended("x");
    Windows1252::encodeAppend(QStringView(text), appended);
    FUZZ_EQUAL(appended, "x" + referenceEncode(text));
    return 0;
}
