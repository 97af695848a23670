#pragma once

#include "capture/v4l2/v4l2device.h"

#include <cstdint>
#include <optional>
#include <vector>

struct spa_pod;
struct spa_pod_builder;

// Format negotiation with a PipeWire node, in the V4L2 back end's terms: what
// a node offers (formats, sizes, rates, controls) read from its params, what
// a stream asks for and what was agreed, as SPA pods. Plain functions, on the
// caller's thread (the driver calls them on its PipeWire loop thread).
namespace lv::pipewire {

// The pixel format a PipeWire video format stands for, as the V4L2 fourcc
// the frame converter takes; 0 when this program cannot show it.
uint32_t fourccForSpa(uint32_t mediaSubtype, uint32_t videoFormat);
// Whether a stream can ask a source for fourcc.
bool canRequest(uint32_t fourcc);

// Adds the formats, sizes and rates of one EnumFormat param to formats
// (merged with those already there); a param of no video format we show adds nothing.
void addEnumFormat(std::vector<v4l2::PixelFormatInfo>& formats, const spa_pod* param);
// Adds the control one PropInfo param describes; a fixed value or a type
// other than a switch or a number adds nothing.
void addPropInfo(std::vector<v4l2::ControlInfo>& controls, const spa_pod* param);
// Takes the current values of a Props param into the controls it names.
void readProps(std::vector<v4l2::ControlInfo>& controls, const spa_pod* param);

// The format a Format param agreed on; a fourcc of 0 for a video format we
// cannot show; nullopt when the param is no video format or cannot be read.
std::optional<v4l2::CurrentFormat> agreedFormat(const spa_pod* param);

// The stream's EnumFormat param asking for want, built in b.
const spa_pod* formatRequest(spa_pod_builder& b, const v4l2::CurrentFormat& want);
// The stream's buffer params for the agreed format f, built in b, into
// params (room for two); returns how many. negotiated: f can be shown.
uint32_t bufferParams(spa_pod_builder& b, const v4l2::CurrentFormat& f, bool negotiated, const spa_pod* params[2]);
// A Props param setting control id to value, built in b.
const spa_pod* controlValue(spa_pod_builder& b, uint32_t id, bool boolean, int value);

} // namespace lv::pipewire
