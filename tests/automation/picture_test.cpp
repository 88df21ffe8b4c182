// Picture objects: their properties by dispatch and ownership of handles,
// object variants asked for interfaces, and the picture loader and saver.
#include <gtest/gtest.h>

#include <memory>

#include "platform/automation/picture.h"
#include "platform/automation/picture_file.h"
#include "platform/automation/stream_object.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/metafile_format.h"
#include "platform/gdiplus/metafile_handles.h"
#include "support/metafile_builder.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

// A w x h 32bppARGB picture: opaque colours from the position, the top-left
// pixel fully transparent.
std::unique_ptr<gdiplus::Image> gradient(int w, int h) {
    std::unique_ptr<gdiplus::Image> image;
    EXPECT_EQ(gdiplus::createBitmapFromScan0(w, h, 0, gdiplus::PixelFormat32bppARGB, nullptr, image),
              gdiplus::Status::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image->setPixel(x, y, 0xFF000000u | uint32_t(x * 9) << 16 | uint32_t(y * 7) << 8 | 3);
    image->setPixel(0, 0, 0);
    return image;
}

std::shared_ptr<Picture> makePicture(const PictureDescription& d, bool own = true) {
    std::shared_ptr<Picture> picture;
    EXPECT_EQ(Picture::create(d, own, picture), S_OK);
    return picture;
}

gdi::HBITMAP bitmapOf(const gdiplus::Image& image) {
    gdi::HBITMAP h = 0;
    EXPECT_EQ(gdiplus::createHBITMAPFromBitmap(image, 0, h), gdiplus::Status::Ok);
    return h;
}

Variant property(IDispatch& object, const char* name) {
    Variant result;
    EXPECT_EQ(invokeByName(object, name, DISPATCH_PROPERTYGET, {}, &result), S_OK) << name;
    return result;
}

void expectSamePixels(const gdiplus::Image& a, const gdiplus::Image& b) {
    ASSERT_EQ(a.width(), b.width());
    ASSERT_EQ(a.height(), b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            gdiplus::ARGB ca = 0, cb = 0;
            a.getPixel(x, y, ca);
            b.getPixel(x, y, cb);
            ASSERT_EQ(ca, cb) << x << "," << y;
        }
}

// An object with a dispatch interface only.
class DispatchOnly final : public IDispatch {
public:
    HRESULT GetIDsOfNames(std::string_view, DISPID&) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, uint32_t*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

}  // namespace

TEST(PictureTest, PropertiesComeByDispatchInHimetricAndAnOwnedHandleGoesWithThePicture) {
    auto image = gradient(96, 48);
    const size_t bitmapsBefore = gdi::liveBitmapCount();
    const gdi::HBITMAP h = bitmapOf(*image);
    {
        auto picture = makePicture({PICTYPE_BITMAP, h, 0, 0, 0});
        EXPECT_EQ(property(*picture, "Type"), Variant(int16_t{PICTYPE_BITMAP}));
        EXPECT_EQ(property(*picture, "Handle"), Variant(static_cast<int32_t>(h)));
        EXPECT_EQ(property(*picture, "Width"), Variant(2540));  // one inch at 96 dots per inch
        EXPECT_EQ(property(*picture, "Height"), Variant(1270));
        Variant palette[] = {Variant(77)};
        EXPECT_EQ(invokeByName(*picture, "hPal", DISPATCH_PROPERTYPUT, palette), S_OK);
        EXPECT_EQ(property(*picture, "hPal"), Variant(77));
        // The handle by number: Handle is the picture's value.
        Variant value;
        EXPECT_EQ(picture->Invoke(0, DISPATCH_PROPERTYGET, {}, &value, nullptr, nullptr), S_OK);
        EXPECT_EQ(value.i4(), static_cast<int32_t>(h));
    }
    EXPECT_EQ(gdi::bitmap(h), nullptr);
    EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore);

    // Not owned: the handle stays the caller's.
    const gdi::HBITMAP kept = bitmapOf(*image);
    makePicture({PICTYPE_BITMAP, kept, 0, 0, 0}, false).reset();
    EXPECT_NE(gdi::bitmap(kept), nullptr);
    // A handle of another kind, or an unknown type, makes no picture.
    std::shared_ptr<Picture> none;
    EXPECT_EQ(Picture::create({PICTYPE_ICON, kept, 0, 0, 0}, true, none), E_INVALIDARG);
    EXPECT_EQ(Picture::create({7, kept, 0, 0, 0}, true, none), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(gdi::deleteBitmap(kept));

    // An enhanced metafile measures itself by its frame.
    const gdi::HENHMETAFILE emf = gdi::setEnhMetaFileBits(test::redRectangleEmf(192, 96));
    auto emfPicture = makePicture({PICTYPE_ENHMETAFILE, emf, 0, 0, 0});
    EXPECT_NEAR(emfPicture->width(), 5080, 1);
    EXPECT_NEAR(emfPicture->height(), 2540, 1);
    emfPicture.reset();
    EXPECT_EQ(gdi::enhMetaFileBits(emf), nullptr);
}

TEST(PictureTest, ObjectVariantsAreAskedForTheInterfaceTheyAreWanted) {
    auto image = gradient(10, 10);
    auto picture = makePicture({PICTYPE_BITMAP, bitmapOf(*image), 0, 0, 0});
    const Variant unknown{UnknownPtr(picture, static_cast<IUnknown*>(picture.get()))};
    EXPECT_EQ(unknown.vt(), VT_UNKNOWN);
    EXPECT_EQ(typeName(VT_UNKNOWN), "Unknown");
    Variant asDispatch;
    ASSERT_EQ(unknown.changeType(VT_DISPATCH, asDispatch), S_OK);
    ASSERT_NE(asDispatch.dispatch(), nullptr);
    EXPECT_EQ(property(*asDispatch.dispatch(), "Width"), Variant(265));
    EXPECT_NE(pictureOf(asDispatch.dispatch().get()), nullptr);
    Variant back;
    ASSERT_EQ(asDispatch.changeType(VT_UNKNOWN, back), S_OK);
    EXPECT_EQ(back.unknown().get(), static_cast<IUnknown*>(picture.get()));

    // Through a reference, as a member taking an object by reference sees it.
    UnknownPtr slot = unknown.unknown();
    Variant converted;
    ASSERT_EQ(Variant::byRef(&slot).changeType(VT_DISPATCH, converted), S_OK);
    EXPECT_EQ(converted.dispatch().get(), static_cast<IDispatch*>(picture.get()));

    // Streams are such objects too; an object without the lookup is no IUnknown.
    auto stream = std::make_shared<StreamObject>(std::make_shared<MemoryStream>(std::vector<uint8_t>{1, 2}));
    Variant streamUnknown;
    ASSERT_EQ(Variant(DispatchPtr(stream)).changeType(VT_UNKNOWN, streamUnknown), S_OK);
    EXPECT_EQ(queryInterface<IStream>(*streamUnknown.unknown(), IID_IStream), &stream->stream());
    EXPECT_EQ(pictureOf(stream.get()), nullptr);
    Variant refused;
    EXPECT_EQ(Variant(DispatchPtr(std::make_shared<DispatchOnly>())).changeType(VT_UNKNOWN, refused), E_NOINTERFACE);
    EXPECT_EQ(Variant(42).changeType(VT_UNKNOWN, refused), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(Variant().changeType(VT_UNKNOWN, refused), S_OK);
    EXPECT_EQ(refused.unknown(), nullptr);
}

TEST(PictureTest, BitmapsAndIconsTravelThroughTheSaverAndTheLoader) {
    auto image = gradient(20, 12);
    auto bitmapPicture = makePicture({PICTYPE_BITMAP, bitmapOf(*image), 0, 0, 0});
    std::vector<uint8_t> bmp;
    ASSERT_EQ(savePicture(*bitmapPicture, bmp), S_OK);
    ASSERT_GT(bmp.size(), 2u);
    EXPECT_EQ(bmp[0], 'B');
    std::shared_ptr<Picture> loaded;
    ASSERT_EQ(loadPicture(bmp, loaded), S_OK);
    EXPECT_EQ(loaded->type(), PICTYPE_BITMAP);
    std::unique_ptr<gdiplus::Image> before, after;
    ASSERT_EQ(gdiplus::createBitmapFromHBITMAP(bitmapPicture->handle(), before), gdiplus::Status::Ok);
    ASSERT_EQ(gdiplus::createBitmapFromHBITMAP(loaded->handle(), after), gdiplus::Status::Ok);
    expectSamePixels(*before, *after);

    gdi::HICON icon = 0;
    ASSERT_EQ(gdiplus::createHICONFromBitmap(*image, icon), gdiplus::Status::Ok);
    auto iconPicture = makePicture({PICTYPE_ICON, icon, 0, 0, 0});
    std::vector<uint8_t> ico;
    ASSERT_EQ(savePicture(*iconPicture, ico), S_OK);
    ASSERT_EQ(loadPicture(ico, loaded), S_OK);
    EXPECT_EQ(loaded->type(), PICTYPE_ICON);
    ASSERT_EQ(gdiplus::createBitmapFromHICON(icon, before), gdiplus::Status::Ok);
    ASSERT_EQ(gdiplus::createBitmapFromHICON(loaded->handle(), after), gdiplus::Status::Ok);
    expectSamePixels(*before, *after);
    gdiplus::ARGB corner = 1;
    after->getPixel(0, 0, corner);
    EXPECT_EQ(corner >> 24, 0u);  // the transparent pixel stays transparent

    // A picture of no type, or one whose handle is gone, saves nothing.
    auto empty = makePicture({PICTYPE_NONE, 0, 0, 0, 0});
    EXPECT_EQ(savePicture(*empty, bmp), E_INVALIDARG);
    // Content the loader does not read.
    std::vector<uint8_t> png;
    ASSERT_EQ(image->saveToBytes(gdiplus::CodecClsid::PNG, {}, png), gdiplus::Status::Ok);
    EXPECT_EQ(loadPicture(png, loaded), CTL_E_INVALIDPICTURE);
    EXPECT_EQ(loadPicture(std::vector<uint8_t>{0xD7, 0xCD, 0xC6, 0x9A, 0}, loaded), CTL_E_INVALIDPICTURE);
    EXPECT_EQ(loadPictureFile("/nonexistent/picture.bmp", loaded), CTL_E_FILENOTFOUND);
}

TEST(PictureTest, MetafilePicturesKeepTheirHimetricSizeInThePlaceableHeader) {
    const size_t metafilesBefore = gdi::liveMetaFileCount();
    const gdi::HMETAFILE wmf = gdi::setMetaFileBits(test::redRectangleWmf(100, 40));
    ASSERT_NE(wmf, 0u);
    auto picture = makePicture({PICTYPE_METAFILE, wmf, 0, 2646, 1058});
    std::vector<uint8_t> file;
    ASSERT_EQ(savePicture(*picture, file), S_OK);
    using gdiplus::metafile::le16;
    ASSERT_TRUE(gdiplus::metafile::isPlaceableWmf(file));
    EXPECT_EQ(le16(&file[14]), 1440);  // twips
    EXPECT_EQ(le16(&file[10]), 1500);
    EXPECT_EQ(le16(&file[12]), 600);
    uint16_t checksum = 0;
    for (size_t i = 0; i < 20; i += 2) checksum ^= le16(&file[i]);
    EXPECT_EQ(le16(&file[20]), checksum);

    std::shared_ptr<Picture> loaded;
    ASSERT_EQ(loadPicture(file, loaded), S_OK);
    EXPECT_EQ(loaded->type(), PICTYPE_METAFILE);
    EXPECT_NEAR(loaded->width(), 2646, 1);
    EXPECT_NEAR(loaded->height(), 1058, 1);
    std::unique_ptr<gdiplus::Image> metafile;
    gdiplus::WmfPlaceableFileHeader header;
    ASSERT_TRUE(gdiplus::placeableHeaderOfHimetric(loaded->width(), loaded->height(), header));
    ASSERT_EQ(gdiplus::createMetafileFromWmf(loaded->handle(), header, metafile), gdiplus::Status::Ok);
    EXPECT_EQ(metafile->width(), 100);
    EXPECT_EQ(metafile->height(), 40);

    // A side of 100,000 HIMETRIC (about 39 inches) passes 32767 twips: fewer
    // units per inch keep the size.
    ASSERT_TRUE(gdiplus::placeableHeaderOfHimetric(100000, 50, header));
    EXPECT_LT(header.inch, 1440);
    EXPECT_LE(header.right, 32767);
    EXPECT_NEAR(header.right * 2540.0 / header.inch, 100000, 100000 / header.inch + 1);
    ASSERT_EQ(gdiplus::createMetafileFromWmf(wmf, header, metafile), gdiplus::Status::Ok);
    EXPECT_NEAR(metafile->width(), 3780, 5);
    EXPECT_FALSE(gdiplus::placeableHeaderOfHimetric(0, 10, header));
    EXPECT_FALSE(gdiplus::placeableHeaderOfHimetric(-5, 10, header));
    EXPECT_FALSE(gdiplus::placeableHeaderOfHimetric(INT32_MAX, 10, header));
    // A key other than the placeable key is refused.
    header.key = 0x12345678;
    EXPECT_EQ(gdiplus::createMetafileFromWmf(wmf, header, metafile), gdiplus::Status::InvalidParameter);

    picture.reset();
    loaded.reset();
    EXPECT_EQ(gdi::liveMetaFileCount(), metafilesBefore);
}
