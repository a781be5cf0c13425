#include "package_builder.h"

#include "check_length.h"
#include "package_format.h"

#include <QLoggingCategory>
#include <QtEndian>
#include <cstring>

using namespace package_format;

namespace {

Q_LOGGING_CATEGORY(package_log, "vantrel.package")

// A text that would come out of the header other than it went in is refused.
bool length_fields_agree(const header_info_t &header)
{
    return quint32(header.product_info.size()) == header.product_info_len &&
           quint32(header.boot_version.size()) == header.boot_version_len &&
           quint32(header.app_version.size()) == header.app_version_len;
}

// Sum of the eight bytes of a word, by adding byte pairs into 16-bit lanes
// and the lanes with one multiplication (at most 8 x 255, so nothing spills).
inline quint32 word_byte_sum(quint64 word)
{
    const quint64 pairs = (word & 0x00FF00FF00FF00FFULL) + ((word >> 8) & 0x00FF00FF00FF00FFULL);
    return quint32((pairs * 0x0001000100010001ULL) >> 48);
}

// Copies a block and returns its sum. Short blocks go a word at a time when
// `slack` bytes may be read and written past them (the bytes written there
// are overwritten by the sum and the next block); that beats a call or a
// loop per byte by far when blocks are a few bytes long.
inline quint16 copy_block(char *out, const char *in, quint32 count, qint64 slack)
{
    if (count >= 32) {
        std::memcpy(out, in, count);
        return byte_sum(in, count);
    }
    quint32 sum = 0;
    if (slack >= 32) {
        quint32 done = 0;
        for (; done + 8 <= count; done += 8) {
            std::memcpy(out + done, in + done, 8);
            sum += word_byte_sum(qFromLittleEndian<quint64>(in + done));
        }
        if (done < count) {
            std::memcpy(out + done, in + done, 8);
            const quint64 keep = (quint64(1) << (8 * (count - done))) - 1;
            sum += word_byte_sum(qFromLittleEndian<quint64>(in + done) & keep);
        }
        return quint16(sum);
    }
    for (quint32 i = 0; i < count; ++i) {
        out[i] = in[i];
        sum += quint8(in[i]);
    }
    return quint16(sum);
}

} // namespace

void package_builder::reset()
{
    new_bin_is_write_addr = 0;
    check_block_count = 0;
    package_sum_so_far = 0;
}

bool package_builder::write_at_offset(quint32 offset_addr, const QByteArray &bytes,
                                      QByteArray &package)
{
    if (offset_addr < new_bin_is_write_addr) {
        qCDebug(package_log).noquote() << "offset_addr = " + QString::number(offset_addr);
        qCDebug(package_log).noquote()
            << "new_bin_is_write_addr = " + QString::number(new_bin_is_write_addr);
        qCDebug(package_log).noquote() << "offset_addr < new_bin_is_write_addr";
        return false;
    }
    if (offset_addr > new_bin_is_write_addr) {
        const quint32 gap = offset_addr - new_bin_is_write_addr;
        package.append(int(gap), fill_byte);
        package_sum_so_far += gap * quint8(fill_byte);
    }
    package.append(bytes);
    package_sum_so_far += byte_sum(bytes);
    new_bin_is_write_addr = offset_addr + quint32(bytes.size());
    return true;
}

bool package_builder::build_header(const header_info_t &header, QByteArray &package)
{
    if (new_bin_is_write_addr != 0 || !package.isEmpty())
        return false;
    header_text_problem problem;
    if (!length_fields_agree(header) || find_header_text_problem(header, &problem))
        return false;

    write_at_offset(product_info_len_offset, big_endian::u32(header.product_info_len), package);
    write_at_offset(product_info_offset, header.product_info.toLatin1(), package);
    write_at_offset(boot_version_len_offset, big_endian::u16(header.boot_version_len), package);
    write_at_offset(boot_version_offset, header.boot_version.toLatin1(), package);
    write_at_offset(app_version_len_offset, big_endian::u16(header.app_version_len), package);
    write_at_offset(app_version_offset, header.app_version.toLatin1(), package);
    write_at_offset(boot_upgrade_flag_offset, big_endian::u32(header.boot_upgrade_flag), package);
    write_at_offset(app_upgrade_flag_offset, big_endian::u32(header.app_upgrade_flag), package);
    write_at_offset(check_len_offset, big_endian::u32(header.check_len), package);
    write_at_offset(boot_file_size_offset, big_endian::u32(header.boot_file_size), package);
    write_at_offset(app_file_size_offset, big_endian::u32(header.app_file_size), package);
    write_at_offset(header_marker_offset, QByteArray(1, header_marker), package);
    write_at_offset(header_sum_offset, big_endian::u16(byte_sum(package)), package);
    return true;
}

bool package_builder::build_body(const QByteArray &source, quint32 check_len, QByteArray &package)
{
    if (!check_length::is_usable(check_len))
        return false;
    if (new_bin_is_write_addr != header_size || package.size() != int(header_size))
        return false;
    const qint64 source_size = source.size();
    const qint64 total = package_size(source_size, check_len);
    if (total > max_package_size)
        return false;

    // The blocks always follow the header without a gap, so the body is
    // written straight into its final place; a block at a time through
    // write_at_offset costs several times the whole build.
    const qint64 blocks = block_count(source_size, check_len);
    const qint64 body_end = total - package_sum_size;
    package.reserve(int(total));
    package.resize(int(body_end));
    char *out = package.data() + header_size;
    const char *in = source.constData();
    qint64 pos = 0;
    qint64 block = 0;
    quint32 body_sum = 0;
    // Blocks of at most a word, while a whole word may be read past them:
    // one load and one masked word sum each, and for blocks of up to six
    // bytes the sum rides in the same store as the data.
    if (check_len <= 8) {
        const quint64 keep = check_len == 8 ? ~quint64(0) : (quint64(1) << (8 * check_len)) - 1;
        const qint64 fast_blocks =
            source_size >= qint64(check_len) + 8 ? (source_size - 8) / check_len : 0;
        const bool sum_in_word = check_len <= 6;
        for (; block < fast_blocks; ++block) {
            const quint64 word = qFromLittleEndian<quint64>(in + pos) & keep;
            const quint32 sum = word_byte_sum(word);
            if (sum_in_word) {
                const quint64 sum_bytes = quint64((sum >> 8) | ((sum & 0xFF) << 8));
                qToLittleEndian<quint64>(word | sum_bytes << (8 * check_len), out);
            } else {
                qToLittleEndian<quint64>(word, out);
                out[check_len] = char(sum >> 8);
                out[check_len + 1] = char(sum);
            }
            body_sum += sum + (sum >> 8) + (sum & 0xFF);
            out += check_len + block_sum_size;
            pos += check_len;
        }
    }
    for (; block < blocks; ++block) {
        const quint32 count = quint32(qMin<qint64>(check_len, source_size - pos));
        // Reads past the block stay in the source, writes in the body.
        const qint64 slack = source_size - pos - count;
        const quint16 sum = copy_block(out, in + pos, count, slack);
        out[count] = char(sum >> 8);
        out[count + 1] = char(sum);
        body_sum += sum + (sum >> 8) + (sum & 0xFF);
        out += count + block_sum_size;
        pos += count;
    }
    package_sum_so_far += body_sum;
    new_bin_is_write_addr = quint32(body_end);
    check_block_count = quint32(blocks);
    return true;
}

void package_builder::append_package_sum(QByteArray &package)
{
    // The sum kept while writing saves a pass over the whole package; a
    // package that grew by other hands is summed afresh.
    const quint16 sum = package.size() == qint64(new_bin_is_write_addr)
                            ? quint16(package_sum_so_far)
                            : byte_sum(package);
    package.append(big_endian::u16(sum));
    package_sum_so_far += quint32(sum >> 8) + (sum & 0xFF);
    new_bin_is_write_addr += package_sum_size;
}

bool find_header_text_problem(const header_info_t &header, header_text_problem *problem)
{
    using text = header_text_problem::text;
    const struct
    {
        text which;
        const QString &value;
        quint32 slot;
    } texts[] = {{text::product_info, header.product_info, product_info_slot},
                 {text::boot_version, header.boot_version, boot_version_slot},
                 {text::app_version, header.app_version, app_version_slot}};
    for (const auto &candidate : texts) {
        const int at = first_unstorable(candidate.value);
        const bool too_long = quint32(candidate.value.size()) > candidate.slot;
        if (!too_long && at < 0)
            continue;
        problem->which = candidate.which;
        problem->too_long = too_long;
        problem->length = candidate.value.size();
        problem->slot = candidate.slot;
        problem->at = too_long ? -1 : at;
        problem->character = too_long ? QChar() : candidate.value.at(at);
        return true;
    }
    return false;
}

build_status build_package(const header_info_t &header, const QByteArray &source,
                           QByteArray &package)
{
    package.clear();
    if (!check_length::is_usable(header.check_len))
        return build_status::check_len_zero;
    package_builder builder;
    if (!builder.build_header(header, package))
        return build_status::header_refused;
    if (!builder.build_body(source, header.check_len, package)) {
        package.clear();
        return build_status::too_large;
    }
    builder.append_package_sum(package);
    return build_status::ok;
}
