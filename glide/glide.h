// The 3D board library: our software implementation of its 2.x API.
//
// Same names, types and constant values as the library the program was written
// for. The board draws into two 16-bit RGB 565 colour buffers (origin at the
// lower left, y grows upward) and hands every finished frame to the installed
// FramePresenter (see presenter.h). All state lives in one context.
//
// Limits of this board:
//  - A polygon call draws at most 64 vertices (the first 64 of a longer list).
//  - There is no depth buffer: grDepthBufferMode is accepted and ignored, the
//    depth of grBufferClear and grLfbConstantDepth is kept and never used.
//  - There is no alpha buffer: the destination alpha reads as 255 in blending
//    (GR_BLEND_DST_ALPHA acts as one, GR_BLEND_ONE_MINUS_DST_ALPHA as zero).
//  - One texture unit (GR_TMU0) with 4 MB of texture memory; textures of up
//    to 256 x 256 texels in the 8- and 16-bit formats (no palette or YIQ
//    formats), sampled from their largest level only.
//  - Frame-buffer locks write RGB 565 only.
#pragma once

#include <cstdint>

typedef uint8_t FxU8;
typedef int8_t FxI8;
typedef uint16_t FxU16;
typedef int16_t FxI16;
typedef uint32_t FxU32;
typedef int32_t FxI32;
typedef int FxBool;
typedef float FxFloat;
#define FXTRUE 1
#define FXFALSE 0

typedef FxI32 GrChipID_t;
typedef FxI32 GrSstType;
typedef FxI32 GrScreenResolution_t;
typedef FxI32 GrScreenRefresh_t;
typedef FxI32 GrColorFormat_t;
typedef FxI32 GrOriginLocation_t;
typedef FxI32 GrBuffer_t;
typedef FxI32 GrDitherMode_t;
typedef FxI32 GrDepthBufferMode_t;
typedef FxI32 GrCullMode_t;
typedef FxI32 GrHint_t;
typedef FxI32 GrColorCombineFunction_t;
typedef FxI32 GrTextureCombineFnc_t;
typedef FxI32 GrAlphaSource_t;
typedef FxI32 GrAlphaBlendFnc_t;
typedef FxI32 GrCmpFnc_t;
typedef FxU8 GrAlpha_t;
typedef FxU32 GrColor_t;
typedef FxI32 GrTextureFormat_t;
typedef FxI32 GrMipMapMode_t;
typedef FxI32 GrLOD_t;
typedef FxI32 GrAspectRatio_t;
typedef FxI32 GrTextureClampMode_t;
typedef FxI32 GrTextureFilterMode_t;
typedef FxI32 GrMipMapId_t;
typedef FxI32 GrLock_t;
typedef FxI32 GrLfbWriteMode_t;
typedef FxI32 GrControl_t;

// Board types reported by grSstQueryHardware.
#define GR_SSTTYPE_VOODOO 0
#define GR_SSTTYPE_SST96 1
#define GR_SSTTYPE_AT3D 2
#define GR_SSTTYPE_Voodoo2 3

#define GR_TMU0 0
#define GR_TMU1 1

// Screen resolutions and refresh rates.
#define GR_RESOLUTION_320x200 0
#define GR_RESOLUTION_320x240 1
#define GR_RESOLUTION_400x256 2
#define GR_RESOLUTION_512x384 3
#define GR_RESOLUTION_640x200 4
#define GR_RESOLUTION_640x350 5
#define GR_RESOLUTION_640x400 6
#define GR_RESOLUTION_640x480 7
#define GR_RESOLUTION_800x600 8
#define GR_RESOLUTION_960x720 9
#define GR_RESOLUTION_856x480 10
#define GR_RESOLUTION_512x256 11
#define GR_RESOLUTION_1024x768 12
#define GR_RESOLUTION_1280x1024 13
#define GR_RESOLUTION_1600x1200 14
#define GR_RESOLUTION_400x300 15

#define GR_REFRESH_60Hz 0
#define GR_REFRESH_70Hz 1
#define GR_REFRESH_72Hz 2
#define GR_REFRESH_75Hz 3
#define GR_REFRESH_80Hz 4
#define GR_REFRESH_90Hz 5
#define GR_REFRESH_100Hz 6
#define GR_REFRESH_85Hz 7
#define GR_REFRESH_120Hz 8

#define GR_COLORFORMAT_ARGB 0
#define GR_COLORFORMAT_ABGR 1
#define GR_COLORFORMAT_RGBA 2
#define GR_COLORFORMAT_BGRA 3

#define GR_ORIGIN_UPPER_LEFT 0
#define GR_ORIGIN_LOWER_LEFT 1
#define GR_ORIGIN_ANY 0xFF

#define GR_BUFFER_FRONTBUFFER 0
#define GR_BUFFER_BACKBUFFER 1
#define GR_BUFFER_AUXBUFFER 2

#define GR_CONTROL_ACTIVATE 1
#define GR_CONTROL_DEACTIVATE 2
#define GR_CONTROL_RESIZE 3
#define GR_CONTROL_MOVE 4

#define GR_DITHER_DISABLE 0
#define GR_DITHER_2x2 1
#define GR_DITHER_4x4 2

#define GR_DEPTHBUFFER_DISABLE 0
#define GR_CULL_DISABLE 0
#define GR_CULL_NEGATIVE 1
#define GR_CULL_POSITIVE 2

#define GR_HINT_STWHINT 0
#define GR_HINT_FIFOCHECKHINT 1
#define GR_HINT_FPUPRECISION 2
#define GR_HINT_ALLOW_MIPMAP_DITHER 3

// Colour combine (the gu convenience form).
#define GR_COLORCOMBINE_ZERO 0x0
#define GR_COLORCOMBINE_CCRGB 0x1
#define GR_COLORCOMBINE_ITRGB 0x2
#define GR_COLORCOMBINE_ITRGB_DELTA0 0x3
#define GR_COLORCOMBINE_DECAL_TEXTURE 0x4
#define GR_COLORCOMBINE_TEXTURE_TIMES_CCRGB 0x5
#define GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB 0x6
#define GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_DELTA0 0x7
#define GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_ADD_ALPHA 0x8
#define GR_COLORCOMBINE_TEXTURE_TIMES_ALPHA 0x9
#define GR_COLORCOMBINE_TEXTURE_TIMES_ALPHA_ADD_ITRGB 0xa
#define GR_COLORCOMBINE_TEXTURE_ADD_ITRGB 0xb
#define GR_COLORCOMBINE_TEXTURE_SUB_ITRGB 0xc
#define GR_COLORCOMBINE_CCRGB_BLEND_ITRGB_ON_TEXALPHA 0xd
#define GR_COLORCOMBINE_DIFF_SPEC_A 0xe
#define GR_COLORCOMBINE_DIFF_SPEC_B 0xf
#define GR_COLORCOMBINE_ONE 0x10

#define GR_TEXTURECOMBINE_ZERO 0x0
#define GR_TEXTURECOMBINE_DECAL 0x1
#define GR_TEXTURECOMBINE_OTHER 0x2
#define GR_TEXTURECOMBINE_ADD 0x3
#define GR_TEXTURECOMBINE_MULTIPLY 0x4
#define GR_TEXTURECOMBINE_SUBTRACT 0x5
#define GR_TEXTURECOMBINE_DETAIL 0x6
#define GR_TEXTURECOMBINE_DETAIL_OTHER 0x7
#define GR_TEXTURECOMBINE_TRILINEAR_ODD 0x8
#define GR_TEXTURECOMBINE_TRILINEAR_EVEN 0x9
#define GR_TEXTURECOMBINE_ONE 0xa

#define GR_ALPHASOURCE_CC_ALPHA 0x0
#define GR_ALPHASOURCE_ITERATED_ALPHA 0x1
#define GR_ALPHASOURCE_TEXTURE_ALPHA 0x2
#define GR_ALPHASOURCE_TEXTURE_ALPHA_TIMES_ITERATED_ALPHA 0x3

#define GR_BLEND_ZERO 0x0
#define GR_BLEND_SRC_ALPHA 0x1
#define GR_BLEND_SRC_COLOR 0x2
#define GR_BLEND_DST_COLOR 0x2
#define GR_BLEND_DST_ALPHA 0x3
#define GR_BLEND_ONE 0x4
#define GR_BLEND_ONE_MINUS_SRC_ALPHA 0x5
#define GR_BLEND_ONE_MINUS_SRC_COLOR 0x6
#define GR_BLEND_ONE_MINUS_DST_COLOR 0x6
#define GR_BLEND_ONE_MINUS_DST_ALPHA 0x7
#define GR_BLEND_ALPHA_SATURATE 0xf
#define GR_BLEND_PREFOG_COLOR 0xf

#define GR_CMP_NEVER 0
#define GR_CMP_LESS 1
#define GR_CMP_EQUAL 2
#define GR_CMP_LEQUAL 3
#define GR_CMP_GREATER 4
#define GR_CMP_NOTEQUAL 5
#define GR_CMP_GEQUAL 6
#define GR_CMP_ALWAYS 7

// Textures.
#define GR_TEXFMT_RGB_332 0x0
#define GR_TEXFMT_YIQ_422 0x1
#define GR_TEXFMT_ALPHA_8 0x2
#define GR_TEXFMT_INTENSITY_8 0x3
#define GR_TEXFMT_ALPHA_INTENSITY_44 0x4
#define GR_TEXFMT_P_8 0x5
#define GR_TEXFMT_ARGB_8332 0x8
#define GR_TEXFMT_AYIQ_8422 0x9
#define GR_TEXFMT_RGB_565 0xa
#define GR_TEXFMT_ARGB_1555 0xb
#define GR_TEXFMT_ARGB_4444 0xc
#define GR_TEXFMT_ALPHA_INTENSITY_88 0xd
#define GR_TEXFMT_AP_88 0xe

#define GR_MIPMAP_DISABLE 0x0
#define GR_MIPMAP_NEAREST 0x1
#define GR_MIPMAP_NEAREST_DITHER 0x2

#define GR_LOD_256 0x0
#define GR_LOD_128 0x1
#define GR_LOD_64 0x2
#define GR_LOD_32 0x3
#define GR_LOD_16 0x4
#define GR_LOD_8 0x5
#define GR_LOD_4 0x6
#define GR_LOD_2 0x7
#define GR_LOD_1 0x8

#define GR_ASPECT_8x1 0x0
#define GR_ASPECT_4x1 0x1
#define GR_ASPECT_2x1 0x2
#define GR_ASPECT_1x1 0x3
#define GR_ASPECT_1x2 0x4
#define GR_ASPECT_1x4 0x5
#define GR_ASPECT_1x8 0x6

#define GR_TEXTURECLAMP_WRAP 0x0
#define GR_TEXTURECLAMP_CLAMP 0x1
#define GR_TEXTUREFILTER_POINT_SAMPLED 0x0
#define GR_TEXTUREFILTER_BILINEAR 0x1

#define GR_MIPMAPLEVELMASK_EVEN 1
#define GR_MIPMAPLEVELMASK_ODD 2
#define GR_MIPMAPLEVELMASK_BOTH 3

#define GR_NULL_MIPMAP_HANDLE ((GrMipMapId_t)-1)

// Linear frame buffer access.
#define GR_LFB_READ_ONLY 0x00
#define GR_LFB_WRITE_ONLY 0x01
#define GR_LFB_IDLE 0x00
#define GR_LFB_NOIDLE 0x10
#define GR_LFBWRITEMODE_565 0x0
#define GR_LFBWRITEMODE_555 0x1
#define GR_LFBWRITEMODE_1555 0x2
#define GR_LFBWRITEMODE_888 0x4
#define GR_LFBWRITEMODE_8888 0x5
#define GR_LFBWRITEMODE_ANY 0xFF

// A vertex: screen x, y (with the caller's snap bias, BoardSnapBias of extension.h), z, colour and
// alpha on the 0..255 scale, 1/z, 1/w, and per texture unit s/w, t/w, 1/w.
typedef struct {
  float sow; // s / w, in texels (the long side of a texture spans 0..256)
  float tow; // t / w
  float oow; // 1 / w for this unit
} GrTmuVertex;

typedef struct {
  float x, y, z;
  float r, g, b;
  float ooz;
  float a;
  float oow;
  GrTmuVertex tmuvtx[2];
} GrVertex;
static_assert(sizeof(GrVertex) == 15 * sizeof(float), "GrVertex is 15 floats");

// What grSstQueryHardware reports.
typedef struct {
  int num_sst;
  struct {
    GrSstType type;
    int fbRam; // megabytes of frame-buffer memory
    int fbiRev;
    int nTexelfx; // texture units
    int tmuRam;   // megabytes of texture memory per unit
  } SSTs[4];
} GrHwConfiguration;

typedef struct {
  GrLOD_t smallLod;
  GrLOD_t largeLod;
  GrAspectRatio_t aspectRatio;
  GrTextureFormat_t format;
  void *data;
} GrTexInfo;

typedef struct GuNccTable GuNccTable;

typedef struct {
  int size;
  void *lfbPtr;
  FxU32 strideInBytes;
  GrLfbWriteMode_t writeMode;
  GrOriginLocation_t origin;
} GrLfbInfo_t;

// Board and display.
void grGlideInit(void);
void grGlideShutdown(void);
FxBool grSstQueryBoards(GrHwConfiguration *hwconfig);
FxBool grSstQueryHardware(GrHwConfiguration *hwconfig);
void grSstSelect(int which_sst);
FxBool grSstWinOpen(FxU32 hWnd, GrScreenResolution_t screen_resolution, GrScreenRefresh_t refresh_rate,
                    GrColorFormat_t color_format, GrOriginLocation_t origin_location, int nColBuffers,
                    int nAuxBuffers);
void grSstWinClose(void);
FxBool grSstControl(GrControl_t code);
FxU32 grSstScreenWidth(void);
FxU32 grSstScreenHeight(void);

// Frame.
void grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth);
void grBufferSwap(int swap_interval);
void grRenderBuffer(GrBuffer_t buffer);
void grColorMask(FxBool rgb, FxBool a);
void grDitherMode(GrDitherMode_t mode);
void grDepthBufferMode(GrDepthBufferMode_t mode);
void grCullMode(GrCullMode_t mode);
void grHints(GrHint_t hintType, FxU32 hintMask);

// Combine and blend state.
void guColorCombineFunction(GrColorCombineFunction_t fnc);
void grTexCombineFunction(GrChipID_t tmu, GrTextureCombineFnc_t fnc);
void guAlphaSource(GrAlphaSource_t mode);
void grAlphaBlendFunction(GrAlphaBlendFnc_t rgb_sf, GrAlphaBlendFnc_t rgb_df, GrAlphaBlendFnc_t alpha_sf,
                          GrAlphaBlendFnc_t alpha_df);
void grAlphaTestFunction(GrCmpFnc_t function);
void grAlphaTestReferenceValue(GrAlpha_t value);

// Textures.
GrMipMapId_t guTexAllocateMemory(GrChipID_t tmu, FxU8 odd_even_mask, int width, int height,
                                 GrTextureFormat_t fmt, GrMipMapMode_t mm_mode, GrLOD_t smallest_lod,
                                 GrLOD_t largest_lod, GrAspectRatio_t aspect,
                                 GrTextureClampMode_t s_clamp_mode, GrTextureClampMode_t t_clamp_mode,
                                 GrTextureFilterMode_t minfilter_mode, GrTextureFilterMode_t magfilter_mode,
                                 float lod_bias, FxBool trilinear);
void guTexDownloadMipMap(GrMipMapId_t mmid, const void *src, const GuNccTable *ncc_table);
void guTexSource(GrMipMapId_t mmid);

// Drawing.
void grDrawPolygon(int nverts, const int ilist[], const GrVertex vlist[]);
void grDrawPlanarPolygon(int nverts, const int ilist[], const GrVertex vlist[]);
void grDrawLine(const GrVertex *a, const GrVertex *b);
void grAADrawLine(const GrVertex *a, const GrVertex *b);
void grAADrawPoint(const GrVertex *p);

// Frame-buffer access.
FxBool grLfbLock(GrLock_t type, GrBuffer_t buffer, GrLfbWriteMode_t writeMode, GrOriginLocation_t origin,
                 FxBool pixelPipeline, GrLfbInfo_t *info);
FxBool grLfbUnlock(GrLock_t type, GrBuffer_t buffer);
FxBool grLfbReadRegion(GrBuffer_t src_buffer, FxU32 src_x, FxU32 src_y, FxU32 src_width, FxU32 src_height,
                       FxU32 dst_stride, void *dst_data);
void grLfbConstantDepth(FxU16 depth);
