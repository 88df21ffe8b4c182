// Listing a camera JPEG's tags through the control: identifier, name and
// value text of each of its 120 property items by name through the dispatch
// interface (ExifTagCount, then ExifTagGetID, ExifTagGetName and
// ExifTagGetValue for each, their identifiers looked up by name once per
// listing), against reading and formatting the same items
// from the imaging layer directly. One loop alternates the two, so both see
// the same machine; the goal is a median ratio of at most 1.5.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "control/orrery.h"
#include "imaging/image_table.h"
#include "metadata/gdip_property_item.h"
#include "metadata/tag_names.h"
#include "metadata/value_text.h"
#include "orrery/window/headless_backend.h"
#include "platform/gdiplus/factory.h"
#include "support/bench_support.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

constexpr int kItems = 120;
constexpr double kGoal = 1.5;

// Named tags of the main, EXIF and GPS directories.
std::vector<uint32_t> candidateTagIds() {
    std::vector<uint32_t> ids;
    for (const metadata::TagNameRow& row : metadata::TagNameTable()) {
        const bool layerOwn = row.id >= 0x5000 && row.id < 0x6000;  // thumbnail and frame properties
        const bool pointer = row.id == metadata::TagExifIFD || row.id == metadata::TagExifInterop;
        if (!layerOwn && !pointer) ids.push_back(row.id);
    }
    return ids;
}

// An item of a type that cycles through texts, numbers and raw bytes.
gdiplus::PropertyItem cameraItem(uint32_t id, size_t i) {
    switch (i % 5) {
        case 0: return gdiplus::PropertyItem::fromAscii(id, "Orrery Optics " + std::to_string(i));
        case 1: return gdiplus::PropertyItem::fromShorts(id, {static_cast<uint16_t>(i), 2, 3});
        case 2: return gdiplus::PropertyItem::fromLongs(id, {static_cast<uint32_t>(i * 1000)});
        case 3: return gdiplus::PropertyItem::fromRational(id, 1, static_cast<uint32_t>(i + 1));
        default: return {id, 7, {0x30, 0x32, 0x32, 0x31, static_cast<uint8_t>(i)}};
    }
}

struct TagFixture {
    std::string path = (std::filesystem::temp_directory_path() / "orrery-bench-camera.jpg").string();
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
    int items = 0;

    TagFixture() {
        setenv("ORRERY_CODEC_PLUGIN", "none", 1);  // the same decoder on both sides
        // The JPEG writer keeps the tags its directories hold, and the reader
        // adds their pointers: tags are dropped until the file reads as 120.
        std::vector<uint32_t> ids = candidateTagIds();
        while (writeJpeg(ids) > kItems) ids.pop_back();
        control = std::make_unique<control::Orrery>(backend);
        control->InitProperties();
        control->setSilentMode(true);
        std::vector<Variant> args{Variant(path)};
        Variant result;
        invokeByName(*control, "DisplayFromFile", DISPATCH_METHOD, args, &result);
        items = static_cast<int>(layerImage().propertyCount());
    }
    // Writes the JPEG with these tags; returns the items it reads back with.
    int writeJpeg(const std::vector<uint32_t>& ids) const {
        auto image = bench::makePatternImage(64, 48, gdiplus::PixelFormat24bppRGB);
        for (size_t i = 0; i < ids.size(); ++i) image->setPropertyItem(cameraItem(ids[i], i));
        image->save(path, gdiplus::CodecClsid::JPEG, {});
        std::unique_ptr<gdiplus::Image> back;
        if (gdiplus::loadImageFromFile(path, {}, back) != gdiplus::Status::Ok) return 0;
        return static_cast<int>(back->propertyCount());
    }
    ~TagFixture() {
        control.reset();
        std::remove(path.c_str());
    }
    const gdiplus::Image& layerImage() const { return *imaging::modMain::GetGdiImage(control->GetNativeImage()); }
};

// The subject: every tag by name through the dispatch interface, as a host
// calls it: the four names looked up once per listing, then each member
// invoked by its identifier.
size_t listThroughDispatch(control::Orrery& c) {
    DISPID count = 0, getId = 0, getName = 0, getValue = 0;
    c.GetIDsOfNames("ExifTagCount", count);
    c.GetIDsOfNames("ExifTagGetID", getId);
    c.GetIDsOfNames("ExifTagGetName", getName);
    c.GetIDsOfNames("ExifTagGetValue", getValue);
    const auto invoke = [&](DISPID member, std::span<Variant> args) {
        Variant result;
        c.Invoke(member, DISPATCH_METHOD, args, &result, nullptr, nullptr);
        return result;
    };
    const int32_t items = invoke(count, {}).i4();
    size_t bytes = 0;
    for (int32_t n = 1; n <= items; ++n) {
        Variant tagNo(n);
        const std::span<Variant> args(&tagNo, 1);
        bytes += static_cast<size_t>(invoke(getId, args).i4() != 0);
        bytes += invoke(getName, args).str().size();
        bytes += invoke(getValue, args).str().size();
    }
    return bytes;
}

// The baseline: the same items read and formatted from the imaging layer.
size_t listFromLayer(const gdiplus::Image& image) {
    size_t bytes = 0;
    for (uint32_t id : image.propertyIdList()) {
        gdiplus::PropertyItem item;
        image.getPropertyItem(id, item);
        bytes += static_cast<size_t>(item.id != 0);
        bytes += metadata::TagName(item.id).size();
        bytes += metadata::FormatTagValue(item.id, item.type, item.length(),
                                          metadata::ValueCountOf(item.type, item.length()), item.value)
                     .size();
    }
    return bytes;
}

void BM_TagListing(benchmark::State& state) {
    TagFixture& f = bench::sharedFixture<TagFixture>();
    if (f.items != kItems) {
        state.SkipWithError(("the JPEG holds " + std::to_string(f.items) + " items").c_str());
        return;
    }
    bench::pairedRatio(
        state, [&] { return listThroughDispatch(*f.control) > 0; }, [&] { return listFromLayer(f.layerImage()) > 0; },
        kGoal);
    state.counters["items"] = f.items;
}
BENCHMARK(BM_TagListing)->UseManualTime()->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    const int code = bench::runWithRatios(argc, argv, {});
    bench::endFixture<TagFixture>();
    return code;
}
