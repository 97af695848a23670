#include "capture/pipewire/pwformats.h"

#include <algorithm>
#include <cstring>
#include <linux/videodev2.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/props.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

namespace lv::pipewire {

namespace {

struct FormatName {
    uint32_t spa;
    uint32_t fourcc;
    const char* text;
};
// The raw formats offered to a source, in order of preference.
constexpr FormatName kRawFormats[] = {
    {SPA_VIDEO_FORMAT_YUY2, V4L2_PIX_FMT_YUYV, "YUYV 4:2:2"},
    {SPA_VIDEO_FORMAT_NV12, V4L2_PIX_FMT_NV12, "NV12 4:2:0"},
    {SPA_VIDEO_FORMAT_I420, V4L2_PIX_FMT_YUV420, "YUV 4:2:0 planar"},
    {SPA_VIDEO_FORMAT_RGB, V4L2_PIX_FMT_RGB24, "RGB 24-bit"},
    {SPA_VIDEO_FORMAT_BGR, V4L2_PIX_FMT_BGR24, "BGR 24-bit"},
    {SPA_VIDEO_FORMAT_BGRx, V4L2_PIX_FMT_XBGR32, "BGRx 32-bit"},
    {SPA_VIDEO_FORMAT_RGBx, V4L2_PIX_FMT_RGBX32, "RGBx 32-bit"},
    {SPA_VIDEO_FORMAT_xRGB, V4L2_PIX_FMT_XRGB32, "xRGB 32-bit"},
    {SPA_VIDEO_FORMAT_xBGR, V4L2_PIX_FMT_BGRX32, "xBGR 32-bit"},
};

QString formatText(uint32_t fourcc)
{
    if (fourcc == V4L2_PIX_FMT_MJPEG)
        return QStringLiteral("Motion-JPEG");
    for (const FormatName& f : kRawFormats)
        if (f.fourcc == fourcc)
            return QString::fromLatin1(f.text);
    return v4l2::fourccText(fourcc);
}

uint32_t spaForFourcc(uint32_t fourcc)
{
    for (const FormatName& f : kRawFormats)
        if (f.fourcc == fourcc)
            return f.spa;
    return SPA_VIDEO_FORMAT_UNKNOWN;
}

// The values of one property of an object pod: its default first, then
// the alternatives (an enumeration) or the bounds (a range).
template <typename T>
std::vector<T> propValues(const spa_pod* object, uint32_t key, uint32_t* choiceType = nullptr)
{
    const spa_pod_prop* p = spa_pod_find_prop(object, nullptr, key);
    if (!p)
        return {};
    uint32_t n = 0;
    uint32_t choice = SPA_CHOICE_None;
    const spa_pod* v = spa_pod_get_values(&p->value, &n, &choice);
    if (!v || v->size != sizeof(T))
        return {};
    if (choiceType)
        *choiceType = choice;
    const T* values = static_cast<const T*>(SPA_POD_BODY_CONST(v));
    return std::vector<T>(values, values + n);
}

// A choice as a list of offers: an enumeration's members, or a range's default
// and maximum.
template <typename T>
std::vector<T> offers(const std::vector<T>& values, uint32_t choice)
{
    if (values.empty())
        return {};
    if (choice == SPA_CHOICE_Enum && values.size() > 1)
        return std::vector<T>(values.begin() + 1, values.end());
    if ((choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step) && values.size() >= 3) {
        std::vector<T> out{values[0]};
        if (std::memcmp(&values[2], &values[0], sizeof(T)) != 0)
            out.push_back(values[2]);
        return out;
    }
    return {values[0]};
}

void addFormat(std::vector<v4l2::PixelFormatInfo>& all, uint32_t fourcc, const std::vector<spa_rectangle>& sizes,
               const std::vector<spa_fraction>& rates)
{
    auto it = std::find_if(all.begin(), all.end(), [&](const v4l2::PixelFormatInfo& f) { return f.fourcc == fourcc; });
    if (it == all.end()) {
        v4l2::PixelFormatInfo f;
        f.fourcc = fourcc;
        f.description = formatText(fourcc);
        f.convertible = true;
        all.push_back(f);
        it = all.end() - 1;
    }
    for (const spa_rectangle& r : sizes) {
        if (r.width == 0 || r.height == 0 || r.width > 16384 || r.height > 16384)
            continue;
        const QSize size(int(r.width), int(r.height));
        auto s = std::find_if(it->sizes.begin(), it->sizes.end(), [&](const auto& x) { return x.size == size; });
        if (s == it->sizes.end()) {
            it->sizes.push_back({size, {}});
            s = it->sizes.end() - 1;
        }
        for (const spa_fraction& fr : rates) {
            if (fr.num == 0 || fr.denom == 0)
                continue;
            const v4l2::Interval iv{fr.denom, fr.num};
            if (std::find(s->intervals.begin(), s->intervals.end(), iv) == s->intervals.end())
                s->intervals.push_back(iv);
        }
        if (s->intervals.empty())
            s->intervals.push_back({1, 30});
    }
}

} // namespace

uint32_t fourccForSpa(uint32_t mediaSubtype, uint32_t videoFormat)
{
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg)
        return V4L2_PIX_FMT_MJPEG;
    if (mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return 0;
    for (const FormatName& f : kRawFormats)
        if (f.spa == videoFormat)
            return f.fourcc;
    return 0;
}

bool canRequest(uint32_t fourcc)
{
    return fourcc == V4L2_PIX_FMT_MJPEG || spaForFourcc(fourcc) != SPA_VIDEO_FORMAT_UNKNOWN;
}

void addEnumFormat(std::vector<v4l2::PixelFormatInfo>& formats, const spa_pod* param)
{
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
        return;
    uint32_t sizeChoice = 0;
    uint32_t rateChoice = 0;
    const auto sizes = offers(propValues<spa_rectangle>(param, SPA_FORMAT_VIDEO_size, &sizeChoice), sizeChoice);
    const auto rates = offers(propValues<spa_fraction>(param, SPA_FORMAT_VIDEO_framerate, &rateChoice), rateChoice);
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
        addFormat(formats, V4L2_PIX_FMT_MJPEG, sizes, rates);
        return;
    }
    if (mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return;
    uint32_t formatChoice = 0;
    const auto all = propValues<uint32_t>(param, SPA_FORMAT_VIDEO_format, &formatChoice);
    for (uint32_t f : offers(all, formatChoice))
        if (const uint32_t fourcc = fourccForSpa(mediaSubtype, f))
            addFormat(formats, fourcc, sizes, rates);
}

void addPropInfo(std::vector<v4l2::ControlInfo>& controls, const spa_pod* param)
{
    const auto ids = propValues<uint32_t>(param, SPA_PROP_INFO_id);
    const spa_pod_prop* name = spa_pod_find_prop(param, nullptr, SPA_PROP_INFO_name);
    const spa_pod_prop* type = spa_pod_find_prop(param, nullptr, SPA_PROP_INFO_type);
    const char* text = nullptr;
    if (ids.empty() || !name || !type || spa_pod_get_string(&name->value, &text) < 0 || !text)
        return;
    v4l2::ControlInfo c;
    c.id = ids.front();
    c.name = QString::fromUtf8(text);
    uint32_t n = 0;
    uint32_t choice = SPA_CHOICE_None;
    const spa_pod* v = spa_pod_get_values(&type->value, &n, &choice);
    if (!v || n == 0)
        return;
    if (spa_pod_is_bool(v)) {
        c.type = v4l2::ControlInfo::Type::Boolean;
        c.maximum = 1;
        c.defaultValue = c.value = *static_cast<const int32_t*>(SPA_POD_BODY_CONST(v)) ? 1 : 0;
    } else if (spa_pod_is_int(v)) {
        const auto* values = static_cast<const int32_t*>(SPA_POD_BODY_CONST(v));
        c.defaultValue = c.value = values[0];
        if (choice == SPA_CHOICE_Range && n >= 3) {
            c.minimum = values[1];
            c.maximum = values[2];
        } else if (choice == SPA_CHOICE_Step && n >= 4) {
            c.minimum = values[1];
            c.maximum = values[2];
            c.step = std::max(1, values[3]);
        } else if (choice == SPA_CHOICE_Enum && n >= 2) {
            c.type = v4l2::ControlInfo::Type::Menu;
            for (uint32_t i = 1; i < n; ++i)
                c.menu.emplace_back(values[i], QString::number(values[i]));
        } else {
            return; // a fixed value is nothing to control
        }
    } else {
        return;
    }
    controls.push_back(std::move(c));
}

void readProps(std::vector<v4l2::ControlInfo>& controls, const spa_pod* param)
{
    for (v4l2::ControlInfo& c : controls) {
        const spa_pod_prop* p = spa_pod_find_prop(param, nullptr, c.id);
        if (!p)
            continue;
        int32_t i = 0;
        bool b = false;
        if (spa_pod_get_int(&p->value, &i) == 0)
            c.value = i;
        else if (spa_pod_get_bool(&p->value, &b) == 0)
            c.value = b ? 1 : 0;
    }
}

std::optional<v4l2::CurrentFormat> agreedFormat(const spa_pod* param)
{
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
        return std::nullopt;
    v4l2::CurrentFormat f;
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_raw) {
        spa_video_info_raw raw{};
        if (spa_format_video_raw_parse(param, &raw) < 0)
            return std::nullopt;
        f.fourcc = fourccForSpa(mediaSubtype, raw.format);
        f.size = QSize(int(raw.size.width), int(raw.size.height));
        f.interval = {raw.framerate.denom, raw.framerate.num};
    } else if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
        spa_video_info_mjpg mjpg{};
        if (spa_format_video_mjpg_parse(param, &mjpg) < 0)
            return std::nullopt;
        f.fourcc = V4L2_PIX_FMT_MJPEG;
        f.size = QSize(int(mjpg.size.width), int(mjpg.size.height));
        f.interval = {mjpg.framerate.denom, mjpg.framerate.num};
    }
    return f;
}

const spa_pod* formatRequest(spa_pod_builder& b, const v4l2::CurrentFormat& want)
{
    spa_rectangle size{uint32_t(want.size.width()), uint32_t(want.size.height())};
    spa_fraction rate{want.interval.den, want.interval.num};
    if (want.fourcc == V4L2_PIX_FMT_MJPEG) {
        return static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
            SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_mjpg), SPA_FORMAT_VIDEO_size,
            SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    }
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(spaForFourcc(want.fourcc)), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
}

uint32_t bufferParams(spa_pod_builder& b, const v4l2::CurrentFormat& f, bool negotiated, const spa_pod* params[2])
{
    uint32_t n = 0;
    // The buffer header: its sequence numbers show lost frames.
    params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(int(sizeof(spa_meta_header)))));
    if (f.fourcc == V4L2_PIX_FMT_MJPEG && negotiated) {
        // A compressed frame has no size the format tells; without room
        // for the largest, a producer cuts frames short.
        const int size = std::max(f.size.width() * f.size.height() * 2, 1 << 16);
        params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_size,
            SPA_POD_CHOICE_RANGE_Int(size, size, INT32_MAX)));
    }
    return n;
}

const spa_pod* controlValue(spa_pod_builder& b, uint32_t id, bool boolean, int value)
{
    spa_pod_frame frame{};
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
    spa_pod_builder_prop(&b, id, 0);
    if (boolean)
        spa_pod_builder_bool(&b, value != 0);
    else
        spa_pod_builder_int(&b, value);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &frame));
}

} // namespace lv::pipewire
