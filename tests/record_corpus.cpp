#include "record_corpus.h"
#include "translation_table.h"
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <random>

namespace {

// The EBCDIC code of each printable ASCII character: the first code the table turns into it.
std::array<unsigned char, 128> MakeEbcdicOf()
{
    std::array<unsigned char, 128> codes{};
    for (int b = 255; b >= 0; --b) {
        unsigned char from = static_cast<unsigned char>(b), to = 0;
        TranslateBuffer(&from, &to, 1);
        if (to < 128) codes[to] = from;
    }
    return codes;
}

std::string Ebcdic(const std::string& ascii)
{
    static const std::array<unsigned char, 128> codes = MakeEbcdicOf();
    std::string out;
    for (char c : ascii) out += static_cast<char>(codes[static_cast<unsigned char>(c) & 0x7F]);
    return out;
}

const std::vector<std::string> Words = {
    "THE", "OF", "AND", "TO", "IN", "FOR", "IS", "ON", "THAT", "BY", "THIS", "WITH", "FROM", "AT", "ACCOUNT",
    "BALANCE", "CUSTOMER", "ORDER", "PAYMENT", "RECORD", "FILE", "REPORT", "TOTAL", "DATE", "NUMBER", "STATUS",
    "BRANCH", "OFFICE", "AMOUNT", "INVOICE", "CLOSED", "OPENED", "MONTHLY", "ANNUAL", "REVIEW", "SECTION",
};
const std::vector<std::string> Verbs = {"MOVE", "ADD", "SUBTRACT", "COMPUTE", "IF", "PERFORM", "DISPLAY", "READ",
                                        "WRITE", "GO TO", "EVALUATE", "INITIALIZE", "SET", "CALL"};
const std::vector<std::string> Names = {"WS-TOTAL", "WS-COUNT", "CUST-NAME", "CUST-ID", "ACCT-BAL", "IN-REC",
                                        "OUT-REC", "WS-DATE", "TAX-RATE", "LINE-CNT", "PAGE-NO", "WS-FLAG"};
const std::vector<std::string> People = {"SMITH", "JONES", "MUELLER", "ROSSI", "GARCIA", "NOVAK", "DUBOIS",
                                         "KOWALSKI", "JANSEN", "NIELSEN", "SILVA", "PAPADOPOULOS", "OBRIEN"};
const std::vector<std::string> Cities = {"LONDON", "PARIS", "MILANO", "HAMBURG", "PRAHA", "WIEN", "LYON",
                                         "PORTO", "GENT", "AARHUS", "BERN", "TORINO", "GRAZ", "LEEDS"};

class Maker {
public:
    explicit Maker(unsigned seed) : random_(seed) {}
    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    const std::string& Pick(const std::vector<std::string>& list) { return list[Below(list.size())]; }
    unsigned char Byte() { return static_cast<unsigned char>(Below(256)); }
    std::string Digits(std::size_t n, std::uint64_t value)
    {
        std::string text(n, '0');
        for (std::size_t i = n; i-- > 0 && value > 0; value /= 10) text[i] = static_cast<char>('0' + value % 10);
        return text;
    }
    std::string Sentence(std::size_t most)
    {
        std::string text = Pick(Words);
        for (std::string next = Pick(Words); text.size() + 1 + next.size() <= most; next = Pick(Words)) {
            if (Chance(0.12)) break;
            text += " " + next;
        }
        return text;
    }

private:
    std::mt19937 random_;
};

std::string Padded(std::string text, std::size_t length)
{
    text.resize(length, ' ');
    return text;
}

// Lines turned into fixed records of length bytes, padded with blanks.
std::string Records(const std::vector<std::string>& lines, std::size_t length)
{
    std::string bytes;
    for (const std::string& line : lines) bytes += Ebcdic(Padded(line, length));
    return bytes;
}

std::vector<std::string> CobolLines(Maker& make, std::size_t count, bool programName)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        std::string line = make.Digits(6, (i + 1) * 100) + (make.Chance(0.08) ? "*" : " ");
        if (make.Chance(0.1)) {
            line += "PARA-" + make.Digits(3, i) + ".";
        } else {
            line += std::string(4 + 4 * make.Below(3), ' ') + make.Pick(Verbs) + " " + make.Pick(Names);
            if (make.Chance(0.6)) line += " TO " + make.Pick(Names);
            if (make.Chance(0.3)) line += ".";
        }
        line = Padded(line, 72);
        if (programName) line += "PAYROLL1";
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> JclLines(Maker& make, std::size_t count)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        switch (make.Below(5)) {
        case 0: lines.push_back("//STEP" + make.Digits(2, i % 100) + "   EXEC PGM=PROG" + make.Digits(2, make.Below(60))); break;
        case 1: lines.push_back("//" + Padded(make.Pick(Names).substr(0, 8), 8) + " DD DSN=USER.DATA.SET" +
                                make.Digits(2, make.Below(40)) + ",DISP=SHR"); break;
        case 2: lines.push_back("//SYSOUT   DD SYSOUT=*"); break;
        case 3: lines.push_back("//* " + make.Sentence(60)); break;
        default: lines.push_back("//         SPACE=(CYL,(" + make.Digits(2, make.Below(99)) + ",5)),UNIT=SYSDA"); break;
        }
    }
    return lines;
}

std::vector<std::string> ProseLines(Maker& make, std::size_t count, std::size_t width)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) lines.push_back(make.Sentence(20 + make.Below(width - 20)));
    return lines;
}

std::vector<std::string> AssemblerLines(Maker& make, std::size_t count)
{
    const std::vector<std::string> ops = {"L", "ST", "LA", "MVC", "CLC", "BNE", "BR", "AP", "ZAP", "CP", "BAL"};
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        std::string line = make.Chance(0.2) ? Padded("LAB" + make.Digits(4, i), 9) : std::string(9, ' ');
        line += Padded(make.Pick(ops), 6) + "R" + make.Digits(1, make.Below(10)) + ",0(R" + make.Digits(1, make.Below(10)) + ")";
        line = Padded(line, 39) + make.Sentence(30);
        lines.push_back(Padded(line, 72) + make.Digits(8, (i + 1) * 10));
    }
    return lines;
}

// A report with a carriage-control byte before each line of width bytes.
std::vector<std::string> PrintLines(Maker& make, std::size_t count, std::size_t width)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 55 == 0) {
            lines.push_back("1" + Padded("  MONTHLY ACCOUNT REPORT", width - 12) + "PAGE " + make.Digits(4, i / 55 + 1));
            lines.push_back("0  NAME                 CITY           ACCOUNT        BALANCE");
            continue;
        }
        char amount[32];
        std::snprintf(amount, sizeof amount, "%12.2f", static_cast<double>(make.Below(10000000)) / 100.0);
        std::string line = std::string(make.Chance(0.1) ? "0" : " ") + "  " + Padded(make.Pick(People), 21) +
                           Padded(make.Pick(Cities), 15) + make.Digits(10, make.Below(1000000000)) + amount;
        lines.push_back(line.substr(0, width + 1));
    }
    return lines;
}

// A field of a data record: how it is laid out and what a record puts in it.
struct Field {
    enum Kind { Text, Zoned, Packed, Binary, Date, Flag, Blanks, LowValues, Key } kind;
    std::size_t length;
};

void PutField(Maker& make, const Field& field, std::size_t record, std::string& out)
{
    switch (field.kind) {
    case Field::Text:
        out += Ebcdic(Padded(field.length > 30 ? make.Sentence(field.length) : make.Pick(make.Chance(0.5) ? People : Cities),
                             field.length));
        break;
    case Field::Key: out += Ebcdic(make.Digits(field.length, record + 1)); break;
    case Field::Zoned: {
        std::string digits = Ebcdic(make.Digits(field.length, make.Below(100000)));
        digits.back() = static_cast<char>((make.Chance(0.8) ? 0xC0 : 0xD0) | (digits.back() & 0x0F));
        out += digits;
        break;
    }
    case Field::Packed: {
        std::string digits = make.Digits(field.length * 2 - 1, make.Below(1000000));
        for (std::size_t i = 0; i < field.length; ++i) {
            int high = digits[2 * i] - '0';
            int low = 2 * i + 1 < digits.size() ? digits[2 * i + 1] - '0' : (make.Chance(0.8) ? 0xC : 0xD);
            out += static_cast<char>(high << 4 | low);
        }
        break;
    }
    case Field::Binary: {
        std::uint64_t value = make.Below(field.length >= 4 ? 70000 : 3000);
        for (std::size_t i = field.length; i-- > 0;) out += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
        break;
    }
    case Field::Date: out += Ebcdic(("20" + make.Digits(2, 10 + make.Below(16)) + make.Digits(2, 1 + make.Below(12)) +
                                     make.Digits(2, 1 + make.Below(28))).substr(0, field.length)); break;
    case Field::Flag: out += Ebcdic(std::string(1, "AAAX"[make.Below(4)])); break;
    case Field::Blanks: out += std::string(field.length, '\x40'); break;
    case Field::LowValues: out += std::string(field.length, '\0'); break;
    }
}

// A layout of exactly length bytes, as a record description would give it: a record type and
// a key, fields of every kind, a table of a few entries (OCCURS), long text fields where the
// record is long, and filler up to the length.
std::vector<Field> Layout(Maker& make, std::size_t length)
{
    const Field choices[] = {{Field::Text, 12}, {Field::Zoned, 7}, {Field::Packed, 5}, {Field::Binary, 4},
                             {Field::Date, 8},  {Field::Flag, 1},  {Field::Packed, 3}, {Field::Binary, 2},
                             {Field::Text, 20}, {Field::Zoned, 5}, {Field::Blanks, 3}, {Field::Text, 30}};
    const std::size_t kinds = sizeof choices / sizeof choices[0];
    std::vector<Field> fields;
    std::size_t used = 0;
    auto add = [&](Field field) {
        field.length = std::min(field.length, length - used);
        if (field.length != 0) {
            fields.push_back(field);
            used += field.length;
        }
    };
    add({Field::Flag, 1});
    add({Field::Key, 6});
    std::size_t tableAt = make.Below(8);
    for (std::size_t n = 0; used < length * 9 / 10; ++n) {
        if (n == tableAt) {
            std::vector<Field> entry;
            for (std::size_t k = 2 + make.Below(3); k > 0; --k) entry.push_back(choices[make.Below(kinds)]);
            for (std::size_t repeats = 2 + make.Below(11); repeats > 0; --repeats)
                for (const Field& field : entry) add(field);
        } else if (length > 2000 && make.Chance(0.05)) {
            add({Field::Text, 100 + make.Below(900)});
        } else {
            add(choices[make.Below(kinds)]);
        }
    }
    if (used < length) add({make.Chance(0.5) ? Field::Blanks : Field::LowValues, length - used});
    return fields;
}

std::string DataRecords(Maker& make, std::size_t length, std::size_t count)
{
    std::vector<Field> layout = Layout(make, length);
    std::string bytes;
    for (std::size_t r = 0; r < count; ++r)
        for (const Field& field : layout) PutField(make, field, r, bytes);
    return bytes;
}

std::string VariableRecords(Maker& make, std::size_t count)
{
    std::string bytes;
    for (std::size_t r = 0; r < count; ++r) {
        std::string data = Ebcdic("A" + make.Digits(6, r + 1) + make.Sentence(10 + make.Below(180)));
        std::size_t length = data.size() + 4;
        bytes += static_cast<char>(length >> 8);
        bytes += static_cast<char>(length & 0xFF);
        bytes += std::string(2, '\0') + data;
    }
    return bytes;
}

// Text packed by LZW into 12-bit codes, as old compressors wrote it.
std::string Compressed(Maker& make, std::size_t textBytes)
{
    std::string text;
    while (text.size() < textBytes) text += make.Sentence(70) + "\r\n";
    std::string bytes;
    std::uint32_t bits = 0;
    int held = 0;
    auto emit = [&](int code) {
        bits = bits << 12 | static_cast<std::uint32_t>(code);
        held += 12;
        while (held >= 8) {
            held -= 8;
            bytes += static_cast<char>((bits >> held) & 0xFF);
        }
    };
    std::map<std::pair<int, unsigned char>, int> codes;
    int next = 256, current = static_cast<unsigned char>(text[0]);
    for (std::size_t i = 1; i < text.size(); ++i) {
        auto key = std::make_pair(current, static_cast<unsigned char>(text[i]));
        auto found = codes.find(key);
        if (found != codes.end()) {
            current = found->second;
            continue;
        }
        emit(current);
        if (next < 4096) codes[key] = next++;
        else {
            codes.clear();
            next = 256;
        }
        current = static_cast<unsigned char>(text[i]);
    }
    emit(current);
    return bytes;
}

std::string RandomBytes(Maker& make, std::size_t count)
{
    std::string bytes(count, '\0');
    for (char& b : bytes) b = static_cast<char>(make.Byte());
    return bytes;
}

}  // namespace

std::string CardImages(std::size_t count, unsigned seed)
{
    Maker make(seed);
    return Records(CobolLines(make, count, true), 80);
}

std::string NewLineText(std::size_t count, unsigned seed)
{
    Maker make(seed);
    std::string bytes;
    for (const std::string& line : ProseLines(make, count, 90)) bytes += Ebcdic(line) + '\x15';
    return bytes;
}

std::vector<CorpusFile> RecordCorpus(unsigned seed)
{
    Maker make(seed);
    std::vector<CorpusFile> files;
    auto add = [&](std::string name, std::string bytes, std::int32_t length) {
        files.push_back({std::move(name), std::move(bytes), length});
    };
    std::size_t cards = 1500 + make.Below(1500);
    add("COBOL source", Records(CobolLines(make, cards, true), 80), 80);
    add("COBOL source, no program name", Records(CobolLines(make, cards, false), 80), 80);
    add("JCL", Records(JclLines(make, 400 + make.Below(400)), 80), 80);
    add("prose on cards", Records(ProseLines(make, cards, 72), 80), 80);
    add("assembler", Records(AssemblerLines(make, cards), 80), 80);
    add("print file of 133", Records(PrintLines(make, 2000, 132), 133), 133);
    add("print file of 121", Records(PrintLines(make, 1200, 120), 121), 121);
    add("prose of 72 a line", Records(ProseLines(make, 900, 70), 72), 72);
    add("source of 3 MiB, beyond the sample", Records(CobolLines(make, 40000, true), 80), 80);
    std::string cut = Records(CobolLines(make, cards, true), 80);
    cut.resize(cut.size() - 43);
    add("COBOL source, short last card", cut, 80);
    for (std::size_t length : {7, 12, 23, 50, 100, 250, 256, 400, 1000, 4096, 8000, 27998, 32760}) {
        std::size_t count = std::max<std::size_t>(12, (200000 + make.Below(200000)) / length);
        std::string bytes = DataRecords(make, length, count);
        bool shortLast = make.Chance(0.3);
        if (shortLast) bytes.resize(bytes.size() - 1 - make.Below(length - 1));
        add("data records of " + std::to_string(length) + (shortLast ? ", short last record" : ""), bytes,
            static_cast<std::int32_t>(length));
    }
    add("text with NL", NewLineText(3000, seed + 1), 0);
    std::string fewWords;
    for (std::size_t line = 0; line < 2000; ++line) {
        std::string text = "ACCOUNT";
        for (std::size_t words = make.Below(12); words > 0; --words) text += make.Chance(0.5) ? " BALANCE" : " OF";
        fewWords += Ebcdic(text) + '\x15';
    }
    add("text with NL, of few words", fewWords, 0);
    add("variable records with RDWs", VariableRecords(make, 2000), 0);
    add("random bytes", RandomBytes(make, 1u << 20), 0);
    add("random bytes, 100 KB", RandomBytes(make, 100000), 0);
    add("LZW-compressed text", Compressed(make, 400000), 0);
    std::string pcText;
    for (const std::string& line : ProseLines(make, 3000, 90)) pcText += line + "\r\n";
    add("PC text with CR LF", pcText, 0);
    add("twelve cards", Records(CobolLines(make, 12, true), 80), 80);
    add("three cards", Records(CobolLines(make, 3, true), 80), 0);
    add("five data records", DataRecords(make, 100, 5), 0);
    add("empty", "", 0);
    return files;
}
