#include "render/glext.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/glcontext.h"

GlCoreEntryPoints GlCore;
GlVersionFlagSet GlVersionFlags;
int (*wglSwapIntervalEXT)(int interval) = nullptr;
int (*wglGetSwapIntervalEXT)() = nullptr;

namespace {

const char* DriverString(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }

constexpr GlExtensionSource kPlatformSource = {&DriverString, &GlGetProcAddress,
                                               &GlxGetExtensionString};

// An extension and the entry points its loading function fetches, under the registry's names
// (vendor suffix included), separated by single spaces.
struct LoadGroup {
  const char* extension;
  const char* names;
};

// GL extensions with entry points, in loading order. The 19 program entry points are listed
// under both ARB program extensions and glBlendColor / glBlendEquation under the imaging subset
// and OpenGL 1.4: a name listed twice is one slot, filled by whichever owner is offered.
const LoadGroup kGlGroups[] = {
    {"GL_APPLE_element_array",
     "glElementPointerAPPLE glDrawElementArrayAPPLE glDrawRangeElementArrayAPPLE "
     "glMultiDrawElementArrayAPPLE glMultiDrawRangeElementArrayAPPLE"},
    {"GL_APPLE_fence",
     "glGenFencesAPPLE glDeleteFencesAPPLE glSetFenceAPPLE glIsFenceAPPLE glTestFenceAPPLE "
     "glFinishFenceAPPLE glTestObjectAPPLE glFinishObjectAPPLE"},
    {"GL_APPLE_vertex_array_object",
     "glBindVertexArrayAPPLE glDeleteVertexArraysAPPLE glGenVertexArraysAPPLE "
     "glIsVertexArrayAPPLE"},
    {"GL_APPLE_vertex_array_range",
     "glVertexArrayRangeAPPLE glFlushVertexArrayRangeAPPLE glVertexArrayParameteriAPPLE"},
    {"GL_ARB_draw_buffers", "glDrawBuffersARB"},
    {"GL_ARB_fragment_program",
     "glProgramStringARB glBindProgramARB glDeleteProgramsARB glGenProgramsARB "
     "glProgramEnvParameter4dARB glProgramEnvParameter4dvARB glProgramEnvParameter4fARB "
     "glProgramEnvParameter4fvARB glProgramLocalParameter4dARB glProgramLocalParameter4dvARB "
     "glProgramLocalParameter4fARB glProgramLocalParameter4fvARB glGetProgramEnvParameterdvARB "
     "glGetProgramEnvParameterfvARB glGetProgramLocalParameterdvARB "
     "glGetProgramLocalParameterfvARB glGetProgramivARB glGetProgramStringARB glIsProgramARB"},
    {"GL_ARB_imaging",
     "glBlendColor glBlendEquation glColorTable glColorTableParameterfv "
     "glColorTableParameteriv glCopyColorTable glGetColorTable glGetColorTableParameterfv "
     "glGetColorTableParameteriv glColorSubTable glCopyColorSubTable glConvolutionFilter1D "
     "glConvolutionFilter2D glConvolutionParameterf glConvolutionParameterfv "
     "glConvolutionParameteri glConvolutionParameteriv glCopyConvolutionFilter1D "
     "glCopyConvolutionFilter2D glGetConvolutionFilter glGetConvolutionParameterfv "
     "glGetConvolutionParameteriv glGetSeparableFilter glSeparableFilter2D glGetHistogram "
     "glGetHistogramParameterfv glGetHistogramParameteriv glGetMinmax glGetMinmaxParameterfv "
     "glGetMinmaxParameteriv glHistogram glMinmax glResetHistogram glResetMinmax"},
    {"GL_ARB_matrix_palette",
     "glCurrentPaletteMatrixARB glMatrixIndexubvARB glMatrixIndexusvARB glMatrixIndexuivARB "
     "glMatrixIndexPointerARB"},
    {"GL_ARB_multisample", "glSampleCoverageARB"},
    {"GL_ARB_multitexture",
     "glActiveTextureARB glClientActiveTextureARB glMultiTexCoord1dARB glMultiTexCoord1dvARB "
     "glMultiTexCoord1fARB glMultiTexCoord1fvARB glMultiTexCoord1iARB glMultiTexCoord1ivARB "
     "glMultiTexCoord1sARB glMultiTexCoord1svARB glMultiTexCoord2dARB glMultiTexCoord2dvARB "
     "glMultiTexCoord2fARB glMultiTexCoord2fvARB glMultiTexCoord2iARB glMultiTexCoord2ivARB "
     "glMultiTexCoord2sARB glMultiTexCoord2svARB glMultiTexCoord3dARB glMultiTexCoord3dvARB "
     "glMultiTexCoord3fARB glMultiTexCoord3fvARB glMultiTexCoord3iARB glMultiTexCoord3ivARB "
     "glMultiTexCoord3sARB glMultiTexCoord3svARB glMultiTexCoord4dARB glMultiTexCoord4dvARB "
     "glMultiTexCoord4fARB glMultiTexCoord4fvARB glMultiTexCoord4iARB glMultiTexCoord4ivARB "
     "glMultiTexCoord4sARB glMultiTexCoord4svARB"},
    {"GL_ARB_occlusion_query",
     "glGenQueriesARB glDeleteQueriesARB glIsQueryARB glBeginQueryARB glEndQueryARB "
     "glGetQueryivARB glGetQueryObjectivARB glGetQueryObjectuivARB"},
    {"GL_ARB_point_parameters", "glPointParameterfARB glPointParameterfvARB"},
    {"GL_ARB_shader_objects",
     "glDeleteObjectARB glGetHandleARB glDetachObjectARB glCreateShaderObjectARB "
     "glShaderSourceARB glCompileShaderARB glCreateProgramObjectARB glAttachObjectARB "
     "glLinkProgramARB glUseProgramObjectARB glValidateProgramARB glUniform1fARB "
     "glUniform2fARB glUniform3fARB glUniform4fARB glUniform1iARB glUniform2iARB "
     "glUniform3iARB glUniform4iARB glUniform1fvARB glUniform2fvARB glUniform3fvARB "
     "glUniform4fvARB glUniform1ivARB glUniform2ivARB glUniform3ivARB glUniform4ivARB "
     "glUniformMatrix2fvARB glUniformMatrix3fvARB glUniformMatrix4fvARB "
     "glGetObjectParameterfvARB glGetObjectParameterivARB glGetInfoLogARB "
     "glGetAttachedObjectsARB glGetUniformLocationARB glGetActiveUniformARB glGetUniformfvARB "
     "glGetUniformivARB glGetShaderSourceARB"},
    {"GL_ARB_texture_compression",
     "glCompressedTexImage3DARB glCompressedTexImage2DARB glCompressedTexImage1DARB "
     "glCompressedTexSubImage3DARB glCompressedTexSubImage2DARB glCompressedTexSubImage1DARB "
     "glGetCompressedTexImageARB"},
    {"GL_ARB_transpose_matrix",
     "glLoadTransposeMatrixfARB glLoadTransposeMatrixdARB glMultTransposeMatrixfARB "
     "glMultTransposeMatrixdARB"},
    {"GL_ARB_vertex_blend",
     "glWeightbvARB glWeightsvARB glWeightivARB glWeightfvARB glWeightdvARB glWeightubvARB "
     "glWeightusvARB glWeightuivARB glWeightPointerARB glVertexBlendARB"},
    {"GL_ARB_vertex_buffer_object",
     "glBindBufferARB glDeleteBuffersARB glGenBuffersARB glIsBufferARB glBufferDataARB "
     "glBufferSubDataARB glGetBufferSubDataARB glMapBufferARB glUnmapBufferARB "
     "glGetBufferParameterivARB glGetBufferPointervARB"},
    {"GL_ARB_vertex_program",
     "glVertexAttrib1dARB glVertexAttrib1dvARB glVertexAttrib1fARB glVertexAttrib1fvARB "
     "glVertexAttrib1sARB glVertexAttrib1svARB glVertexAttrib2dARB glVertexAttrib2dvARB "
     "glVertexAttrib2fARB glVertexAttrib2fvARB glVertexAttrib2sARB glVertexAttrib2svARB "
     "glVertexAttrib3dARB glVertexAttrib3dvARB glVertexAttrib3fARB glVertexAttrib3fvARB "
     "glVertexAttrib3sARB glVertexAttrib3svARB glVertexAttrib4NbvARB glVertexAttrib4NivARB "
     "glVertexAttrib4NsvARB glVertexAttrib4NubARB glVertexAttrib4NubvARB "
     "glVertexAttrib4NuivARB glVertexAttrib4NusvARB glVertexAttrib4bvARB glVertexAttrib4dARB "
     "glVertexAttrib4dvARB glVertexAttrib4fARB glVertexAttrib4fvARB glVertexAttrib4ivARB "
     "glVertexAttrib4sARB glVertexAttrib4svARB glVertexAttrib4ubvARB glVertexAttrib4uivARB "
     "glVertexAttrib4usvARB glVertexAttribPointerARB glEnableVertexAttribArrayARB "
     "glDisableVertexAttribArrayARB glGetVertexAttribdvARB glGetVertexAttribfvARB "
     "glGetVertexAttribivARB glGetVertexAttribPointervARB glProgramStringARB glBindProgramARB "
     "glDeleteProgramsARB glGenProgramsARB glProgramEnvParameter4dARB "
     "glProgramEnvParameter4dvARB glProgramEnvParameter4fARB glProgramEnvParameter4fvARB "
     "glProgramLocalParameter4dARB glProgramLocalParameter4dvARB glProgramLocalParameter4fARB "
     "glProgramLocalParameter4fvARB glGetProgramEnvParameterdvARB "
     "glGetProgramEnvParameterfvARB glGetProgramLocalParameterdvARB "
     "glGetProgramLocalParameterfvARB glGetProgramivARB glGetProgramStringARB glIsProgramARB"},
    {"GL_ARB_vertex_shader", "glBindAttribLocationARB glGetActiveAttribARB glGetAttribLocationARB"},
    {"GL_ARB_window_pos",
     "glWindowPos2dARB glWindowPos2dvARB glWindowPos2fARB glWindowPos2fvARB glWindowPos2iARB "
     "glWindowPos2ivARB glWindowPos2sARB glWindowPos2svARB glWindowPos3dARB glWindowPos3dvARB "
     "glWindowPos3fARB glWindowPos3fvARB glWindowPos3iARB glWindowPos3ivARB glWindowPos3sARB "
     "glWindowPos3svARB"},
    {"GL_ATI_draw_buffers", "glDrawBuffersATI"},
    {"GL_ATI_element_array",
     "glElementPointerATI glDrawElementArrayATI glDrawRangeElementArrayATI"},
    {"GL_ATI_envmap_bumpmap",
     "glTexBumpParameterivATI glTexBumpParameterfvATI glGetTexBumpParameterivATI "
     "glGetTexBumpParameterfvATI"},
    {"GL_ATI_fragment_shader",
     "glGenFragmentShadersATI glBindFragmentShaderATI glDeleteFragmentShaderATI "
     "glBeginFragmentShaderATI glEndFragmentShaderATI glPassTexCoordATI glSampleMapATI "
     "glColorFragmentOp1ATI glColorFragmentOp2ATI glColorFragmentOp3ATI glAlphaFragmentOp1ATI "
     "glAlphaFragmentOp2ATI glAlphaFragmentOp3ATI glSetFragmentShaderConstantATI"},
    {"GL_ATI_map_object_buffer", "glMapObjectBufferATI glUnmapObjectBufferATI"},
    {"GL_ATI_pn_triangles", "glPNTrianglesiATI glPNTrianglesfATI"},
    {"GL_ATI_separate_stencil", "glStencilOpSeparateATI glStencilFuncSeparateATI"},
    {"GL_ATI_vertex_array_object",
     "glNewObjectBufferATI glIsObjectBufferATI glUpdateObjectBufferATI glGetObjectBufferfvATI "
     "glGetObjectBufferivATI glFreeObjectBufferATI glArrayObjectATI glGetArrayObjectfvATI "
     "glGetArrayObjectivATI glVariantArrayObjectATI glGetVariantArrayObjectfvATI "
     "glGetVariantArrayObjectivATI"},
    {"GL_ATI_vertex_attrib_array_object",
     "glVertexAttribArrayObjectATI glGetVertexAttribArrayObjectfvATI "
     "glGetVertexAttribArrayObjectivATI"},
    {"GL_ATI_vertex_streams",
     "glVertexStream1sATI glVertexStream1svATI glVertexStream1iATI glVertexStream1ivATI "
     "glVertexStream1fATI glVertexStream1fvATI glVertexStream1dATI glVertexStream1dvATI "
     "glVertexStream2sATI glVertexStream2svATI glVertexStream2iATI glVertexStream2ivATI "
     "glVertexStream2fATI glVertexStream2fvATI glVertexStream2dATI glVertexStream2dvATI "
     "glVertexStream3sATI glVertexStream3svATI glVertexStream3iATI glVertexStream3ivATI "
     "glVertexStream3fATI glVertexStream3fvATI glVertexStream3dATI glVertexStream3dvATI "
     "glVertexStream4sATI glVertexStream4svATI glVertexStream4iATI glVertexStream4ivATI "
     "glVertexStream4fATI glVertexStream4fvATI glVertexStream4dATI glVertexStream4dvATI "
     "glNormalStream3bATI glNormalStream3bvATI glNormalStream3sATI glNormalStream3svATI "
     "glNormalStream3iATI glNormalStream3ivATI glNormalStream3fATI glNormalStream3fvATI "
     "glNormalStream3dATI glNormalStream3dvATI glClientActiveVertexStreamATI "
     "glVertexBlendEnviATI glVertexBlendEnvfATI"},
    {"GL_EXT_blend_color", "glBlendColorEXT"},
    {"GL_EXT_blend_equation_separate", "glBlendEquationSeparateEXT"},
    {"GL_EXT_blend_func_separate", "glBlendFuncSeparateEXT"},
    {"GL_EXT_blend_minmax", "glBlendEquationEXT"},
    {"GL_EXT_color_subtable", "glColorSubTableEXT glCopyColorSubTableEXT"},
    {"GL_EXT_compiled_vertex_array", "glLockArraysEXT glUnlockArraysEXT"},
    {"GL_EXT_convolution",
     "glConvolutionFilter1DEXT glConvolutionFilter2DEXT glConvolutionParameterfEXT "
     "glConvolutionParameterfvEXT glConvolutionParameteriEXT glConvolutionParameterivEXT "
     "glCopyConvolutionFilter1DEXT glCopyConvolutionFilter2DEXT glGetConvolutionFilterEXT "
     "glGetConvolutionParameterfvEXT glGetConvolutionParameterivEXT glGetSeparableFilterEXT "
     "glSeparableFilter2DEXT"},
    {"GL_EXT_coordinate_frame",
     "glTangent3bEXT glTangent3bvEXT glTangent3dEXT glTangent3dvEXT glTangent3fEXT "
     "glTangent3fvEXT glTangent3iEXT glTangent3ivEXT glTangent3sEXT glTangent3svEXT "
     "glBinormal3bEXT glBinormal3bvEXT glBinormal3dEXT glBinormal3dvEXT glBinormal3fEXT "
     "glBinormal3fvEXT glBinormal3iEXT glBinormal3ivEXT glBinormal3sEXT glBinormal3svEXT "
     "glTangentPointerEXT glBinormalPointerEXT"},
    {"GL_EXT_copy_texture",
     "glCopyTexImage1DEXT glCopyTexImage2DEXT glCopyTexSubImage1DEXT glCopyTexSubImage2DEXT "
     "glCopyTexSubImage3DEXT"},
    {"GL_EXT_cull_vertex", "glCullParameterdvEXT glCullParameterfvEXT"},
    {"GL_EXT_depth_bounds_test", "glDepthBoundsEXT"},
    {"GL_EXT_draw_range_elements", "glDrawRangeElementsEXT"},
    {"GL_EXT_fog_coord",
     "glFogCoordfEXT glFogCoordfvEXT glFogCoorddEXT glFogCoorddvEXT glFogCoordPointerEXT"},
    {"GL_EXT_framebuffer_object",
     "glIsRenderbufferEXT glBindRenderbufferEXT glDeleteRenderbuffersEXT glGenRenderbuffersEXT "
     "glRenderbufferStorageEXT glGetRenderbufferParameterivEXT glIsFramebufferEXT "
     "glBindFramebufferEXT glDeleteFramebuffersEXT glGenFramebuffersEXT "
     "glCheckFramebufferStatusEXT glFramebufferTexture1DEXT glFramebufferTexture2DEXT "
     "glFramebufferTexture3DEXT glFramebufferRenderbufferEXT "
     "glGetFramebufferAttachmentParameterivEXT glGenerateMipmapEXT"},
    {"GL_EXT_histogram",
     "glGetHistogramEXT glGetHistogramParameterfvEXT glGetHistogramParameterivEXT "
     "glGetMinmaxEXT glGetMinmaxParameterfvEXT glGetMinmaxParameterivEXT glHistogramEXT "
     "glMinmaxEXT glResetHistogramEXT glResetMinmaxEXT"},
    {"GL_EXT_index_func", "glIndexFuncEXT"},
    {"GL_EXT_index_material", "glIndexMaterialEXT"},
    {"GL_EXT_light_texture", "glApplyTextureEXT glTextureLightEXT glTextureMaterialEXT"},
    {"GL_EXT_multi_draw_arrays", "glMultiDrawArraysEXT glMultiDrawElementsEXT"},
    {"GL_EXT_multisample", "glSampleMaskEXT glSamplePatternEXT"},
    {"GL_EXT_paletted_texture",
     "glColorTableEXT glGetColorTableEXT glGetColorTableParameterivEXT "
     "glGetColorTableParameterfvEXT"},
    {"GL_EXT_pixel_transform",
     "glPixelTransformParameteriEXT glPixelTransformParameterfEXT "
     "glPixelTransformParameterivEXT glPixelTransformParameterfvEXT"},
    {"GL_EXT_point_parameters", "glPointParameterfEXT glPointParameterfvEXT"},
    {"GL_EXT_polygon_offset", "glPolygonOffsetEXT"},
    {"GL_EXT_secondary_color",
     "glSecondaryColor3bEXT glSecondaryColor3bvEXT glSecondaryColor3dEXT "
     "glSecondaryColor3dvEXT glSecondaryColor3fEXT glSecondaryColor3fvEXT "
     "glSecondaryColor3iEXT glSecondaryColor3ivEXT glSecondaryColor3sEXT "
     "glSecondaryColor3svEXT glSecondaryColor3ubEXT glSecondaryColor3ubvEXT "
     "glSecondaryColor3uiEXT glSecondaryColor3uivEXT glSecondaryColor3usEXT "
     "glSecondaryColor3usvEXT glSecondaryColorPointerEXT"},
    {"GL_EXT_stencil_two_side", "glActiveStencilFaceEXT"},
    {"GL_EXT_subtexture", "glTexSubImage1DEXT glTexSubImage2DEXT"},
    {"GL_EXT_texture3D", "glTexImage3DEXT glTexSubImage3DEXT"},
    {"GL_EXT_texture_object",
     "glAreTexturesResidentEXT glBindTextureEXT glDeleteTexturesEXT glGenTexturesEXT "
     "glIsTextureEXT glPrioritizeTexturesEXT"},
    {"GL_EXT_texture_perturb_normal", "glTextureNormalEXT"},
    {"GL_EXT_vertex_array",
     "glArrayElementEXT glColorPointerEXT glDrawArraysEXT glEdgeFlagPointerEXT "
     "glGetPointervEXT glIndexPointerEXT glNormalPointerEXT glTexCoordPointerEXT "
     "glVertexPointerEXT"},
    {"GL_EXT_vertex_shader",
     "glBeginVertexShaderEXT glEndVertexShaderEXT glBindVertexShaderEXT glGenVertexShadersEXT "
     "glDeleteVertexShaderEXT glShaderOp1EXT glShaderOp2EXT glShaderOp3EXT glSwizzleEXT "
     "glWriteMaskEXT glInsertComponentEXT glExtractComponentEXT glGenSymbolsEXT "
     "glSetInvariantEXT glSetLocalConstantEXT glVariantbvEXT glVariantsvEXT glVariantivEXT "
     "glVariantfvEXT glVariantdvEXT glVariantubvEXT glVariantusvEXT glVariantuivEXT "
     "glVariantPointerEXT glEnableVariantClientStateEXT glDisableVariantClientStateEXT "
     "glBindLightParameterEXT glBindMaterialParameterEXT glBindTexGenParameterEXT "
     "glBindTextureUnitParameterEXT glBindParameterEXT glIsVariantEnabledEXT "
     "glGetVariantBooleanvEXT glGetVariantIntegervEXT glGetVariantFloatvEXT "
     "glGetVariantPointervEXT glGetInvariantBooleanvEXT glGetInvariantIntegervEXT "
     "glGetInvariantFloatvEXT glGetLocalConstantBooleanvEXT glGetLocalConstantIntegervEXT "
     "glGetLocalConstantFloatvEXT"},
    {"GL_EXT_vertex_weighting", "glVertexWeightfEXT glVertexWeightfvEXT glVertexWeightPointerEXT"},
    {"GL_HP_image_transform",
     "glImageTransformParameteriHP glImageTransformParameterfHP glImageTransformParameterivHP "
     "glImageTransformParameterfvHP glGetImageTransformParameterivHP "
     "glGetImageTransformParameterfvHP"},
    {"GL_IBM_multimode_draw_arrays", "glMultiModeDrawArraysIBM glMultiModeDrawElementsIBM"},
    {"GL_IBM_vertex_array_lists",
     "glColorPointerListIBM glSecondaryColorPointerListIBM glEdgeFlagPointerListIBM "
     "glFogCoordPointerListIBM glIndexPointerListIBM glNormalPointerListIBM "
     "glTexCoordPointerListIBM glVertexPointerListIBM"},
    {"GL_INTEL_parallel_arrays",
     "glVertexPointervINTEL glNormalPointervINTEL glColorPointervINTEL glTexCoordPointervINTEL"},
    {"GL_KTX_buffer_region",
     "glBufferRegionEnabled glNewBufferRegion glDeleteBufferRegion glReadBufferRegion "
     "glDrawBufferRegion"},
    {"GL_MESA_resize_buffers", "glResizeBuffersMESA"},
    {"GL_MESA_window_pos",
     "glWindowPos2dMESA glWindowPos2dvMESA glWindowPos2fMESA glWindowPos2fvMESA "
     "glWindowPos2iMESA glWindowPos2ivMESA glWindowPos2sMESA glWindowPos2svMESA "
     "glWindowPos3dMESA glWindowPos3dvMESA glWindowPos3fMESA glWindowPos3fvMESA "
     "glWindowPos3iMESA glWindowPos3ivMESA glWindowPos3sMESA glWindowPos3svMESA "
     "glWindowPos4dMESA glWindowPos4dvMESA glWindowPos4fMESA glWindowPos4fvMESA "
     "glWindowPos4iMESA glWindowPos4ivMESA glWindowPos4sMESA glWindowPos4svMESA"},
    {"GL_NV_element_array",
     "glElementPointerNV glDrawElementArrayNV glDrawRangeElementArrayNV "
     "glMultiDrawElementArrayNV glMultiDrawRangeElementArrayNV"},
    {"GL_NV_evaluators",
     "glMapControlPointsNV glMapParameterivNV glMapParameterfvNV glGetMapControlPointsNV "
     "glGetMapParameterivNV glGetMapParameterfvNV glGetMapAttribParameterivNV "
     "glGetMapAttribParameterfvNV glEvalMapsNV"},
    {"GL_NV_fence",
     "glDeleteFencesNV glGenFencesNV glIsFenceNV glTestFenceNV glGetFenceivNV glFinishFenceNV "
     "glSetFenceNV"},
    {"GL_NV_fragment_program",
     "glProgramNamedParameter4fNV glProgramNamedParameter4fvNV glProgramNamedParameter4dNV "
     "glProgramNamedParameter4dvNV glGetProgramNamedParameterfvNV "
     "glGetProgramNamedParameterdvNV"},
    {"GL_NV_half_float",
     "glVertex2hNV glVertex2hvNV glVertex3hNV glVertex3hvNV glVertex4hNV glVertex4hvNV "
     "glNormal3hNV glNormal3hvNV glColor3hNV glColor3hvNV glColor4hNV glColor4hvNV "
     "glTexCoord1hNV glTexCoord1hvNV glTexCoord2hNV glTexCoord2hvNV glTexCoord3hNV "
     "glTexCoord3hvNV glTexCoord4hNV glTexCoord4hvNV"},
    {"GL_NV_occlusion_query",
     "glGenOcclusionQueriesNV glDeleteOcclusionQueriesNV glIsOcclusionQueryNV "
     "glBeginOcclusionQueryNV glEndOcclusionQueryNV glGetOcclusionQueryivNV "
     "glGetOcclusionQueryuivNV"},
    {"GL_NV_pixel_data_range", "glPixelDataRangeNV glFlushPixelDataRangeNV"},
    {"GL_NV_point_sprite", "glPointParameteriNV glPointParameterivNV"},
    {"GL_NV_primitive_restart", "glPrimitiveRestartNV glPrimitiveRestartIndexNV"},
    {"GL_NV_register_combiners",
     "glCombinerParameterfvNV glCombinerParameterfNV glCombinerParameterivNV "
     "glCombinerParameteriNV glCombinerInputNV glCombinerOutputNV glFinalCombinerInputNV "
     "glGetCombinerInputParameterfvNV glGetCombinerInputParameterivNV "
     "glGetCombinerOutputParameterfvNV glGetCombinerOutputParameterivNV "
     "glGetFinalCombinerInputParameterfvNV glGetFinalCombinerInputParameterivNV"},
    {"GL_NV_register_combiners2", "glCombinerStageParameterfvNV glGetCombinerStageParameterfvNV"},
    {"GL_NV_vertex_array_range",
     "glFlushVertexArrayRangeNV glVertexArrayRangeNV glXAllocateMemoryNV glXFreeMemoryNV"},
    {"GL_NV_vertex_program",
     "glAreProgramsResidentNV glBindProgramNV glDeleteProgramsNV glExecuteProgramNV "
     "glGenProgramsNV glGetProgramParameterdvNV glGetProgramParameterfvNV glGetProgramivNV "
     "glGetProgramStringNV glGetTrackMatrixivNV glGetVertexAttribdvNV glGetVertexAttribfvNV "
     "glGetVertexAttribivNV glGetVertexAttribPointervNV glIsProgramNV glLoadProgramNV "
     "glProgramParameter4dNV glProgramParameter4dvNV glProgramParameter4fNV "
     "glProgramParameter4fvNV glProgramParameters4dvNV glProgramParameters4fvNV "
     "glRequestResidentProgramsNV glTrackMatrixNV glVertexAttribPointerNV glVertexAttrib1dNV "
     "glVertexAttrib1dvNV glVertexAttrib1fNV glVertexAttrib1fvNV glVertexAttrib1sNV "
     "glVertexAttrib1svNV glVertexAttrib2dNV glVertexAttrib2dvNV glVertexAttrib2fNV "
     "glVertexAttrib2fvNV glVertexAttrib2sNV glVertexAttrib2svNV glVertexAttrib3dNV "
     "glVertexAttrib3dvNV glVertexAttrib3fNV glVertexAttrib3fvNV glVertexAttrib3sNV "
     "glVertexAttrib3svNV glVertexAttrib4dNV glVertexAttrib4dvNV glVertexAttrib4fNV "
     "glVertexAttrib4fvNV glVertexAttrib4sNV glVertexAttrib4svNV glVertexAttrib4ubNV "
     "glVertexAttrib4ubvNV glVertexAttribs1dvNV glVertexAttribs1fvNV glVertexAttribs1svNV "
     "glVertexAttribs2dvNV glVertexAttribs2fvNV glVertexAttribs2svNV glVertexAttribs3dvNV "
     "glVertexAttribs3fvNV glVertexAttribs3svNV glVertexAttribs4dvNV glVertexAttribs4fvNV "
     "glVertexAttribs4svNV glVertexAttribs4ubvNV"},
    {"GL_PGI_misc_hints", "glHintPGI"},
    {"GL_SGIS_detail_texture", "glDetailTexFuncSGIS glGetDetailTexFuncSGIS"},
    {"GL_SGIS_fog_function", "glFogFuncSGIS glGetFogFuncSGIS"},
    {"GL_SGIS_multisample", "glSampleMaskSGIS glSamplePatternSGIS"},
    {"GL_SGIS_multitexture",
     "glMultiTexCoord1dSGIS glMultiTexCoord1dvSGIS glMultiTexCoord1fSGIS "
     "glMultiTexCoord1fvSGIS glMultiTexCoord1iSGIS glMultiTexCoord1ivSGIS "
     "glMultiTexCoord1sSGIS glMultiTexCoord1svSGIS glMultiTexCoord2dSGIS "
     "glMultiTexCoord2dvSGIS glMultiTexCoord2fSGIS glMultiTexCoord2fvSGIS "
     "glMultiTexCoord2iSGIS glMultiTexCoord2ivSGIS glMultiTexCoord2sSGIS "
     "glMultiTexCoord2svSGIS glMultiTexCoord3dSGIS glMultiTexCoord3dvSGIS "
     "glMultiTexCoord3fSGIS glMultiTexCoord3fvSGIS glMultiTexCoord3iSGIS "
     "glMultiTexCoord3ivSGIS glMultiTexCoord3sSGIS glMultiTexCoord3svSGIS "
     "glMultiTexCoord4dSGIS glMultiTexCoord4dvSGIS glMultiTexCoord4fSGIS "
     "glMultiTexCoord4fvSGIS glMultiTexCoord4iSGIS glMultiTexCoord4ivSGIS "
     "glMultiTexCoord4sSGIS glMultiTexCoord4svSGIS glMultiTexCoordPointerSGIS "
     "glSelectTextureSGIS glSelectTextureCoordSetSGIS"},
    {"GL_SGIS_pixel_texture",
     "glPixelTexGenParameteriSGIS glPixelTexGenParameterivSGIS glPixelTexGenParameterfSGIS "
     "glPixelTexGenParameterfvSGIS glGetPixelTexGenParameterivSGIS "
     "glGetPixelTexGenParameterfvSGIS"},
    {"GL_SGIS_sharpen_texture", "glSharpenTexFuncSGIS glGetSharpenTexFuncSGIS"},
    {"GL_SGIS_texture4D", "glTexImage4DSGIS glTexSubImage4DSGIS"},
    {"GL_SGIS_texture_color_mask", "glTextureColorMaskSGIS"},
    {"GL_SGIS_texture_filter4", "glGetTexFilterFuncSGIS glTexFilterFuncSGIS"},
    {"GL_SGIX_asyncr",
     "glAsyncMarkerSGIX glFinishAsyncSGIX glPollAsyncSGIX glGenAsyncMarkersSGIX "
     "glDeleteAsyncMarkersSGIX glIsAsyncMarkerSGIX"},
    {"GL_SGIX_flush_raster", "glFlushRasterSGIX"},
    {"GL_SGIX_fragment_lighting",
     "glFragmentColorMaterialSGIX glFragmentLightfSGIX glFragmentLightfvSGIX "
     "glFragmentLightiSGIX glFragmentLightivSGIX glFragmentLightModelfSGIX "
     "glFragmentLightModelfvSGIX glFragmentLightModeliSGIX glFragmentLightModelivSGIX "
     "glFragmentMaterialfSGIX glFragmentMaterialfvSGIX glFragmentMaterialiSGIX "
     "glFragmentMaterialivSGIX glGetFragmentLightfvSGIX glGetFragmentLightivSGIX "
     "glGetFragmentMaterialfvSGIX glGetFragmentMaterialivSGIX glLightEnviSGIX"},
    {"GL_SGIX_framezoom", "glFrameZoomSGIX"},
    {"GL_SGIX_instruments",
     "glGetInstrumentsSGIX glInstrumentsBufferSGIX glPollInstrumentsSGIX glReadInstrumentsSGIX "
     "glStartInstrumentsSGIX glStopInstrumentsSGIX"},
    {"GL_SGIX_list_priority",
     "glGetListParameterfvSGIX glGetListParameterivSGIX glListParameterfSGIX "
     "glListParameterfvSGIX glListParameteriSGIX glListParameterivSGIX"},
    {"GL_SGIX_pixel_texture", "glPixelTexGenSGIX"},
    {"GL_SGIX_polynomial_ffd",
     "glDeformationMap3dSGIX glDeformationMap3fSGIX glDeformSGIX "
     "glLoadIdentityDeformationMapSGIX"},
    {"GL_SGIX_reference_plane", "glReferencePlaneSGIX"},
    {"GL_SGI_color_table",
     "glColorTableSGI glColorTableParameterfvSGI glColorTableParameterivSGI "
     "glCopyColorTableSGI glGetColorTableSGI glGetColorTableParameterfvSGI "
     "glGetColorTableParameterivSGI"},
    {"GL_SUNX_constant_data", "glFinishTextureSUNX"},
    {"GL_SUN_global_alpha",
     "glGlobalAlphaFactorbSUN glGlobalAlphaFactorsSUN glGlobalAlphaFactoriSUN "
     "glGlobalAlphaFactorfSUN glGlobalAlphaFactordSUN glGlobalAlphaFactorubSUN "
     "glGlobalAlphaFactorusSUN glGlobalAlphaFactoruiSUN"},
    {"GL_SUN_mesh_array", "glDrawMeshArraysSUN"},
    {"GL_SUN_multi_draw_arrays", "glMultiDrawArraysSUN glMultiDrawElementsSUN"},
    {"GL_SUN_triangle_list",
     "glReplacementCodeuiSUN glReplacementCodeusSUN glReplacementCodeubSUN "
     "glReplacementCodeuivSUN glReplacementCodeusvSUN glReplacementCodeubvSUN "
     "glReplacementCodePointerSUN"},
    {"GL_SUN_vertex",
     "glColor4ubVertex2fSUN glColor4ubVertex2fvSUN glColor4ubVertex3fSUN "
     "glColor4ubVertex3fvSUN glColor3fVertex3fSUN glColor3fVertex3fvSUN glNormal3fVertex3fSUN "
     "glNormal3fVertex3fvSUN glColor4fNormal3fVertex3fSUN glColor4fNormal3fVertex3fvSUN "
     "glTexCoord2fVertex3fSUN glTexCoord2fVertex3fvSUN glTexCoord4fVertex4fSUN "
     "glTexCoord4fVertex4fvSUN glTexCoord2fColor4ubVertex3fSUN "
     "glTexCoord2fColor4ubVertex3fvSUN glTexCoord2fColor3fVertex3fSUN "
     "glTexCoord2fColor3fVertex3fvSUN glTexCoord2fNormal3fVertex3fSUN "
     "glTexCoord2fNormal3fVertex3fvSUN glTexCoord2fColor4fNormal3fVertex3fSUN "
     "glTexCoord2fColor4fNormal3fVertex3fvSUN glTexCoord4fColor4fNormal3fVertex4fSUN "
     "glTexCoord4fColor4fNormal3fVertex4fvSUN glReplacementCodeuiVertex3fSUN "
     "glReplacementCodeuiVertex3fvSUN glReplacementCodeuiColor4ubVertex3fSUN "
     "glReplacementCodeuiColor4ubVertex3fvSUN glReplacementCodeuiColor3fVertex3fSUN "
     "glReplacementCodeuiColor3fVertex3fvSUN glReplacementCodeuiNormal3fVertex3fSUN "
     "glReplacementCodeuiNormal3fVertex3fvSUN glReplacementCodeuiColor4fNormal3fVertex3fSUN "
     "glReplacementCodeuiColor4fNormal3fVertex3fvSUN glReplacementCodeuiTexCoord2fVertex3fSUN "
     "glReplacementCodeuiTexCoord2fVertex3fvSUN "
     "glReplacementCodeuiTexCoord2fNormal3fVertex3fSUN "
     "glReplacementCodeuiTexCoord2fNormal3fVertex3fvSUN "
     "glReplacementCodeuiTexCoord2fColor4fNormal3fVertex3fSUN "
     "glReplacementCodeuiTexCoord2fColor4fNormal3fVertex3fvSUN"},
    {"GL_WIN_swap_hint", "glAddSwapHintRectWIN"},
};

// GL extensions recorded as flags only; nothing is fetched for them.
const char* const kGlFlagOnly[] = {
    "GL_3DFX_multisample", "GL_3DFX_texture_compression_FXT1", "GL_APPLE_client_storage",
    "GL_APPLE_specular_vector", "GL_APPLE_transform_hint", "GL_APPLE_ycbcr_422",
    "GL_ARB_color_buffer_float", "GL_ARB_depth_texture", "GL_ARB_fragment_program_shadow",
    "GL_ARB_fragment_shader", "GL_ARB_point_sprite", "GL_ARB_shading_language_100", "GL_ARB_shadow",
    "GL_ARB_shadow_ambient", "GL_ARB_texture_border_clamp", "GL_ARB_texture_cube_map",
    "GL_ARB_texture_env_add", "GL_ARB_texture_env_combine", "GL_ARB_texture_env_crossbar",
    "GL_ARB_texture_env_dot3", "GL_ARB_texture_mirrored_repeat", "GL_ARB_texture_non_power_of_two",
    "GL_ATIX_point_sprites", "GL_ATIX_texture_env_combine3", "GL_ATIX_texture_env_route",
    "GL_ATIX_vertex_shader_output_point_size", "GL_ATI_point_cull_mode",
    "GL_ATI_text_fragment_shader", "GL_ATI_texture_compression_3dc", "GL_ATI_texture_env_combine3",
    "GL_ATI_texture_float", "GL_ATI_texture_mirror_once", "GL_EXT_422_pixels", "GL_EXT_abgr",
    "GL_EXT_bgra", "GL_EXT_blend_logic_op", "GL_EXT_blend_subtract", "GL_EXT_clip_volume_hint",
    "GL_EXT_cmyka", "GL_EXT_color_matrix", "GL_EXT_index_array_formats", "GL_EXT_index_texture",
    "GL_EXT_misc_attribute", "GL_EXT_packed_pixels", "GL_EXT_pixel_buffer_object",
    "GL_EXT_pixel_transform_color_table", "GL_EXT_rescale_normal", "GL_EXT_separate_specular_color",
    "GL_EXT_shadow_funcs", "GL_EXT_shared_texture_palette", "GL_EXT_stencil_wrap",
    "GL_EXT_texgen_reflection", "GL_EXT_texture", "GL_EXT_texture_compression_s3tc",
    "GL_EXT_texture_cube_map", "GL_EXT_texture_edge_clamp", "GL_EXT_texture_env_add",
    "GL_EXT_texture_env_combine", "GL_EXT_texture_env_dot3", "GL_EXT_texture_filter_anisotropic",
    "GL_EXT_texture_lod", "GL_EXT_texture_lod_bias", "GL_EXT_texture_rectangle", "GL_FfdMaskSGIX",
    "GL_HP_convolution_border_modes", "GL_HP_occlusion_test", "GL_HP_texture_lighting",
    "GL_IBM_cull_vertex", "GL_IBM_rasterpos_clip", "GL_IBM_texture_mirrored_repeat",
    "GL_INGR_color_clamp", "GL_INGR_interlace_read", "GL_INGR_palette_buffer",
    "GL_INTEL_texture_scissor", "GL_MESA_pack_invert", "GL_MESA_ycbcr_texture", "GL_NVX_ycrcb",
    "GL_NV_blend_square", "GL_NV_copy_depth_to_color", "GL_NV_depth_clamp", "GL_NV_float_buffer",
    "GL_NV_fog_distance", "GL_NV_fragment_program2", "GL_NV_fragment_program_option",
    "GL_NV_light_max_exponent", "GL_NV_multisample_filter_hint", "GL_NV_packed_depth_stencil",
    "GL_NV_texgen_emboss", "GL_NV_texgen_reflection", "GL_NV_texture_compression_vtc",
    "GL_NV_texture_env_combine4", "GL_NV_texture_expand_normal", "GL_NV_texture_rectangle",
    "GL_NV_texture_shader", "GL_NV_texture_shader2", "GL_NV_texture_shader3",
    "GL_NV_vertex_array_range2", "GL_NV_vertex_program1_1", "GL_NV_vertex_program2",
    "GL_NV_vertex_program2_option", "GL_NV_vertex_program3", "GL_OML_interlace", "GL_OML_resample",
    "GL_OML_subsample", "GL_PGI_vertex_hints", "GL_REND_screen_coordinates", "GL_S3_s3tc",
    "GL_SGIS_generate_mipmap", "GL_SGIS_point_line_texgen", "GL_SGIS_point_parameters",
    "GL_SGIS_texture_border_clamp", "GL_SGIS_texture_edge_clamp", "GL_SGIS_texture_lod",
    "GL_SGIS_texture_select", "GL_SGIX_async_histogram", "GL_SGIX_async_pixel",
    "GL_SGIX_blend_alpha_minmax", "GL_SGIX_calligraphic_fragment", "GL_SGIX_clipmap",
    "GL_SGIX_convolution_accuracy", "GL_SGIX_depth_texture", "GL_SGIX_fog_offset",
    "GL_SGIX_fog_scale", "GL_SGIX_impact_pixel_texture", "GL_SGIX_interlace",
    "GL_SGIX_ir_instrument1", "GL_SGIX_pixel_tiles", "GL_SGIX_resample", "GL_SGIX_scalebias_hint",
    "GL_SGIX_shadow", "GL_SGIX_shadow_ambient", "GL_SGIX_sprite", "GL_SGIX_subsample",
    "GL_SGIX_tag_sample_buffer", "GL_SGIX_texture_add_env", "GL_SGIX_texture_coordinate_clamp",
    "GL_SGIX_texture_lod_bias", "GL_SGIX_texture_multi_buffer", "GL_SGIX_texture_scale_bias",
    "GL_SGIX_vertex_preclip", "GL_SGIX_ycrcb", "GL_SGIX_ycrcb_subsample", "GL_SGIX_ycrcba",
    "GL_SGI_color_matrix", "GL_SGI_depth_pass_instrument", "GL_SGI_texture_color_table",
    "GL_SUN_convolution_border_modes", "GL_SUN_slice_accum", "GL_WIN_phong_shading",
    "GL_WIN_specular_fog",
};

// The forms of GL_NV_half_float that exist only beside another feature.
enum class HalfFloatNeeds {
  Multitexture,
  FogCoord,
  SecondaryColor,
  VertexWeighting,
  VertexProgram
};
struct HalfFloatGroup {
  HalfFloatNeeds needs;
  const char* names;
};
const HalfFloatGroup kHalfFloatGroups[] = {
    {HalfFloatNeeds::Multitexture,
     "glMultiTexCoord1hNV glMultiTexCoord1hvNV glMultiTexCoord2hNV glMultiTexCoord2hvNV "
     "glMultiTexCoord3hNV glMultiTexCoord3hvNV glMultiTexCoord4hNV glMultiTexCoord4hvNV"},
    {HalfFloatNeeds::FogCoord,
     "glFogCoordhNV glFogCoordhvNV"},
    {HalfFloatNeeds::SecondaryColor,
     "glSecondaryColor3hNV glSecondaryColor3hvNV"},
    {HalfFloatNeeds::VertexWeighting,
     "glVertexWeighthNV glVertexWeighthvNV"},
    {HalfFloatNeeds::VertexProgram,
     "glVertexAttrib1hNV glVertexAttrib1hvNV glVertexAttrib2hNV glVertexAttrib2hvNV "
     "glVertexAttrib3hNV glVertexAttrib3hvNV glVertexAttrib4hNV glVertexAttrib4hvNV "
     "glVertexAttribs1hvNV glVertexAttribs2hvNV glVertexAttribs3hvNV glVertexAttribs4hvNV"},
};

// Core versions 1.2, 1.3, 1.4, 1.5 and 2.0, under their unsuffixed names. The 1.2 imaging
// functions belong to GL_ARB_imaging; 1.4 has only the float forms of glPointParameter.
const char* const kVersionGroups[5] = {
    // OpenGL 1.2
     "glDrawRangeElements glTexImage3D glTexSubImage3D glCopyTexSubImage3D",
    // OpenGL 1.3
     "glActiveTexture glSampleCoverage glCompressedTexImage3D glCompressedTexImage2D "
     "glCompressedTexImage1D glCompressedTexSubImage3D glCompressedTexSubImage2D "
     "glCompressedTexSubImage1D glGetCompressedTexImage glClientActiveTexture "
     "glMultiTexCoord1d glMultiTexCoord1dv glMultiTexCoord1f glMultiTexCoord1fv "
     "glMultiTexCoord1i glMultiTexCoord1iv glMultiTexCoord1s glMultiTexCoord1sv "
     "glMultiTexCoord2d glMultiTexCoord2dv glMultiTexCoord2f glMultiTexCoord2fv "
     "glMultiTexCoord2i glMultiTexCoord2iv glMultiTexCoord2s glMultiTexCoord2sv "
     "glMultiTexCoord3d glMultiTexCoord3dv glMultiTexCoord3f glMultiTexCoord3fv "
     "glMultiTexCoord3i glMultiTexCoord3iv glMultiTexCoord3s glMultiTexCoord3sv "
     "glMultiTexCoord4d glMultiTexCoord4dv glMultiTexCoord4f glMultiTexCoord4fv "
     "glMultiTexCoord4i glMultiTexCoord4iv glMultiTexCoord4s glMultiTexCoord4sv "
     "glLoadTransposeMatrixf glLoadTransposeMatrixd glMultTransposeMatrixf "
     "glMultTransposeMatrixd",
    // OpenGL 1.4
     "glBlendFuncSeparate glMultiDrawArrays glMultiDrawElements glPointParameterf "
     "glPointParameterfv glFogCoordf glFogCoordfv glFogCoordd glFogCoorddv glFogCoordPointer "
     "glSecondaryColor3b glSecondaryColor3bv glSecondaryColor3d glSecondaryColor3dv "
     "glSecondaryColor3f glSecondaryColor3fv glSecondaryColor3i glSecondaryColor3iv "
     "glSecondaryColor3s glSecondaryColor3sv glSecondaryColor3ub glSecondaryColor3ubv "
     "glSecondaryColor3ui glSecondaryColor3uiv glSecondaryColor3us glSecondaryColor3usv "
     "glSecondaryColorPointer glWindowPos2d glWindowPos2dv glWindowPos2f glWindowPos2fv "
     "glWindowPos2i glWindowPos2iv glWindowPos2s glWindowPos2sv glWindowPos3d glWindowPos3dv "
     "glWindowPos3f glWindowPos3fv glWindowPos3i glWindowPos3iv glWindowPos3s glWindowPos3sv "
     "glBlendColor glBlendEquation",
    // OpenGL 1.5
     "glGenQueries glDeleteQueries glIsQuery glBeginQuery glEndQuery glGetQueryiv "
     "glGetQueryObjectiv glGetQueryObjectuiv glBindBuffer glDeleteBuffers glGenBuffers "
     "glIsBuffer glBufferData glBufferSubData glGetBufferSubData glMapBuffer glUnmapBuffer "
     "glGetBufferParameteriv glGetBufferPointerv",
    // OpenGL 2.0
     "glBlendEquationSeparate glDrawBuffers glStencilOpSeparate glStencilFuncSeparate "
     "glStencilMaskSeparate glAttachShader glBindAttribLocation glCompileShader "
     "glCreateProgram glCreateShader glDeleteProgram glDeleteShader glDetachShader "
     "glDisableVertexAttribArray glEnableVertexAttribArray glGetActiveAttrib "
     "glGetActiveUniform glGetAttachedShaders glGetAttribLocation glGetProgramiv "
     "glGetProgramInfoLog glGetShaderiv glGetShaderInfoLog glGetShaderSource "
     "glGetUniformLocation glGetUniformfv glGetUniformiv glGetVertexAttribdv "
     "glGetVertexAttribfv glGetVertexAttribiv glGetVertexAttribPointerv glIsProgram glIsShader "
     "glLinkProgram glShaderSource glUseProgram glUniform1f glUniform2f glUniform3f "
     "glUniform4f glUniform1i glUniform2i glUniform3i glUniform4i glUniform1fv glUniform2fv "
     "glUniform3fv glUniform4fv glUniform1iv glUniform2iv glUniform3iv glUniform4iv "
     "glUniformMatrix2fv glUniformMatrix3fv glUniformMatrix4fv glValidateProgram "
     "glVertexAttrib1d glVertexAttrib1dv glVertexAttrib1f glVertexAttrib1fv glVertexAttrib1s "
     "glVertexAttrib1sv glVertexAttrib2d glVertexAttrib2dv glVertexAttrib2f glVertexAttrib2fv "
     "glVertexAttrib2s glVertexAttrib2sv glVertexAttrib3d glVertexAttrib3dv glVertexAttrib3f "
     "glVertexAttrib3fv glVertexAttrib3s glVertexAttrib3sv glVertexAttrib4Nbv "
     "glVertexAttrib4Niv glVertexAttrib4Nsv glVertexAttrib4Nub glVertexAttrib4Nubv "
     "glVertexAttrib4Nuiv glVertexAttrib4Nusv glVertexAttrib4bv glVertexAttrib4d "
     "glVertexAttrib4dv glVertexAttrib4f glVertexAttrib4fv glVertexAttrib4iv glVertexAttrib4s "
     "glVertexAttrib4sv glVertexAttrib4ubv glVertexAttrib4uiv glVertexAttrib4usv "
     "glVertexAttribPointer",
};

// The window-system stage reads the GLX extension string: the GLX counterparts of the context,
// pbuffer, pixel-format, swap-control and swap-group extensions.
const LoadGroup kWindowSystemGroups[] = {
    {"GLX_SGI_make_current_read", "glXMakeCurrentReadSGI glXGetCurrentReadDrawableSGI"},
    {"GLX_SGIX_pbuffer",
     "glXCreateGLXPbufferSGIX glXDestroyGLXPbufferSGIX glXQueryGLXPbufferSGIX "
     "glXSelectEventSGIX glXGetSelectedEventSGIX"},
    {"GLX_SGIX_fbconfig",
     "glXGetFBConfigAttribSGIX glXChooseFBConfigSGIX glXCreateGLXPixmapWithConfigSGIX "
     "glXCreateContextWithConfigSGIX glXGetVisualFromFBConfigSGIX glXGetFBConfigFromVisualSGIX"},
    {"GLX_EXT_texture_from_pixmap", "glXBindTexImageEXT glXReleaseTexImageEXT"},
    {"GLX_EXT_swap_control", "glXSwapIntervalEXT"},
    {"GLX_MESA_swap_control", "glXSwapIntervalMESA glXGetSwapIntervalMESA"},
    {"GLX_SGI_swap_control", "glXSwapIntervalSGI"},
    {"GLX_SGI_video_sync", "glXGetVideoSyncSGI glXWaitVideoSyncSGI"},
    {"GLX_OML_sync_control",
     "glXGetSyncValuesOML glXGetMscRateOML glXSwapBuffersMscOML glXWaitForMscOML "
     "glXWaitForSbcOML"},
    {"GLX_SGIX_swap_group", "glXJoinSwapGroupSGIX"},
    {"GLX_SGIX_swap_barrier", "glXBindSwapBarrierSGIX glXQueryMaxSwapBarriersSGIX"},
    {"GLX_MESA_copy_sub_buffer", "glXCopySubBufferMESA"},
};

const char* const kWindowSystemFlagOnly[] = {
    "GLX_3DFX_multisample", "GLX_ARB_multisample", "GLX_ARB_fbconfig_float",
    "GLX_EXT_fbconfig_packed_float", "GLX_SGIS_multisample", "GLX_NV_float_buffer",
    "GLX_EXT_visual_info", "GLX_ARB_create_context", "GLX_ARB_create_context_profile",
};

// Any of these makes the swap interval available.
const char* const kSwapControlExtensions[] = {"GLX_EXT_swap_control", "GLX_MESA_swap_control",
                                              "GLX_SGI_swap_control"};

struct Slot {
  std::string name;
  GlProc proc = nullptr;
};

// Slots (one per distinct name, sorted for look-up) and, per group, the slots it fills; built
// once from the lists above.
struct Tables {
  std::vector<Slot> slots;
  std::vector<std::vector<int>> glGroups, halfFloatGroups, versionGroups, windowSystemGroups;
  std::vector<const char*> glFlagNames, windowSystemFlagNames;
};

std::vector<std::string> SplitNames(const char* names) {
  std::vector<std::string> out;
  for (const char* p = names; *p != '\0';) {
    const char* end = std::strchr(p, ' ');
    if (end == nullptr) end = p + std::strlen(p);
    out.emplace_back(p, end);
    p = (*end == ' ') ? end + 1 : end;
  }
  return out;
}

int FindSlotIndex(const std::vector<Slot>& slots, const char* name) {
  auto it = std::lower_bound(slots.begin(), slots.end(), name,
                             [](const Slot& s, const char* n) { return s.name < n; });
  if (it == slots.end() || it->name != name) return -1;
  return static_cast<int>(it - slots.begin());
}

Tables BuildTables() {
  Tables t;
  std::vector<std::string> all;
  auto collect = [&all](const char* names) {
    for (auto& n : SplitNames(names)) all.push_back(n);
  };
  for (const auto& g : kGlGroups) collect(g.names);
  for (const auto& g : kHalfFloatGroups) collect(g.names);
  for (const char* g : kVersionGroups) collect(g);
  for (const auto& g : kWindowSystemGroups) collect(g.names);
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  for (auto& n : all) t.slots.push_back(Slot{std::move(n), nullptr});

  auto indices = [&t](const char* names) {
    std::vector<int> out;
    for (auto& n : SplitNames(names)) out.push_back(FindSlotIndex(t.slots, n.c_str()));
    return out;
  };
  for (const auto& g : kGlGroups) {
    t.glGroups.push_back(indices(g.names));
    t.glFlagNames.push_back(g.extension);
  }
  for (const char* n : kGlFlagOnly) t.glFlagNames.push_back(n);
  for (const auto& g : kHalfFloatGroups) t.halfFloatGroups.push_back(indices(g.names));
  for (const char* g : kVersionGroups) t.versionGroups.push_back(indices(g));
  for (const auto& g : kWindowSystemGroups) {
    t.windowSystemGroups.push_back(indices(g.names));
    t.windowSystemFlagNames.push_back(g.extension);
  }
  for (const char* n : kWindowSystemFlagOnly) t.windowSystemFlagNames.push_back(n);
  return t;
}

Tables& GetTables() {
  static Tables tables = BuildTables();
  return tables;
}

// One byte per extension name, in the order of the flag-name lists.
std::vector<unsigned char>& GlFlags() {
  static std::vector<unsigned char> flags(GetTables().glFlagNames.size(), 0);
  return flags;
}
std::vector<unsigned char>& WindowSystemFlags() {
  static std::vector<unsigned char> flags(GetTables().windowSystemFlagNames.size(), 0);
  return flags;
}

// The strings are copied: a driver's string dies with its context.
std::string glExtensionString;
bool haveGlExtensionString = false;
std::string windowSystemExtensionString;
bool haveWindowSystemExtensionString = false;
int failureFlag = 0;

bool FlagByName(const std::vector<const char*>& names, const std::vector<unsigned char>& flags,
                const char* name) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (std::strcmp(names[i], name) == 0) return flags[i] != 0;
  }
  return false;
}

bool GlFlag(const char* name) { return FlagByName(GetTables().glFlagNames, GlFlags(), name); }

void Fetch(const std::vector<int>& group) {
  auto& slots = GetTables().slots;
  for (int index : group) {
    void* proc = GlExtensionLoader.procAddress(slots[index].name.c_str());
    slots[index].proc = reinterpret_cast<GlProc>(proc);
    if (proc == nullptr) failureFlag = 1;
  }
}

bool HalfFloatConditionHolds(HalfFloatNeeds needs) {
  switch (needs) {
    case HalfFloatNeeds::Multitexture:
      return GlVersionFlags.v1_3 || GlFlag("GL_ARB_multitexture");
    case HalfFloatNeeds::FogCoord:
      return GlFlag("GL_EXT_fog_coord");
    case HalfFloatNeeds::SecondaryColor:
      return GlFlag("GL_EXT_secondary_color");
    case HalfFloatNeeds::VertexWeighting:
      return GlFlag("GL_EXT_vertex_weighting");
    case HalfFloatNeeds::VertexProgram:
      return GlFlag("GL_NV_vertex_program");
  }
  return false;
}

void SetVersionFlags(const char* version) {
  GlVersionFlags = GlVersionFlagSet{};
  if (version[0] == '\0') return;
  const char c0 = version[0];
  const char c1 = version[1];
  const char c2 = (c1 == '\0') ? '\0' : version[2];
  int count = 0;  // how many of 1.2, 1.3, 1.4, 1.5, 2.0, counted from 1.2
  if (c0 >= '2' || c1 != '.') {
    count = 5;  // also two-digit majors such as "10.0"
  } else if (c0 == '1') {
    if (c2 >= '5') count = 4;
    else if (c2 == '4') count = 3;
    else if (c2 == '3') count = 2;
    else if (c2 == '2') count = 1;
  }
  bool* flags[5] = {&GlVersionFlags.v1_2, &GlVersionFlags.v1_3, &GlVersionFlags.v1_4,
                    &GlVersionFlags.v1_5, &GlVersionFlags.v2_0};
  for (int i = 0; i < count; ++i) *flags[i] = true;
}

// A used entry point: the extension's slot and the core slot of the same function.
struct SlotPair {
  int extension;
  int core;
};

SlotPair PairOf(const char* extensionName, const char* coreName) {
  const auto& slots = GetTables().slots;
  return {FindSlotIndex(slots, extensionName), FindSlotIndex(slots, coreName)};
}

template <typename Fn>
Fn Resolve(const SlotPair& pair) {
  const auto& slots = GetTables().slots;
  GlProc p = pair.extension >= 0 ? slots[pair.extension].proc : nullptr;
  if (p == nullptr && pair.core >= 0) p = slots[pair.core].proc;
  return reinterpret_cast<Fn>(p);
}

int SwapIntervalThroughPlatform(int interval) { return GlSetSwapInterval(interval) ? 1 : 0; }
int SwapIntervalQueryThroughPlatform() { return GlGetSwapInterval(); }

}  // namespace

GlExtensionSource GlExtensionLoader = kPlatformSource;

void ResetGlExtensionLoader() { GlExtensionLoader = kPlatformSource; }

bool ExtensionListHas(const char* list, const char* name) {
  if (name == nullptr || name[0] == '\0' || std::strchr(name, ' ') != nullptr) return false;
  if (list == nullptr) return false;
  const size_t length = std::strlen(name);
  for (const char* p = std::strstr(list, name); p != nullptr; p = std::strstr(p + length, name)) {
    const bool startsWord = (p == list) || (p[-1] == ' ');
    const bool endsWord = (p[length] == ' ') || (p[length] == '\0');
    if (startsWord && endsWord) return true;
  }
  return false;
}

bool QueryGlExtension(const char* name) {
  return haveGlExtensionString && ExtensionListHas(glExtensionString.c_str(), name);
}

bool QueryWglExtension(const char* name) {
  return haveWindowSystemExtensionString &&
         ExtensionListHas(windowSystemExtensionString.c_str(), name);
}

bool GlExtensionFlag(const char* name) {
  if (name == nullptr) return false;
  return GlFlag(name) ||
         FlagByName(GetTables().windowSystemFlagNames, WindowSystemFlags(), name);
}

void DetectGlExtensions() {
  const char* extensions = GlExtensionLoader.glString(GL_EXTENSIONS);
  haveGlExtensionString = extensions != nullptr;
  glExtensionString = extensions != nullptr ? extensions : "";
  const char* version = GlExtensionLoader.glString(GL_VERSION);
  if (version == nullptr) return;
  SetVersionFlags(version);
  auto& names = GetTables().glFlagNames;
  auto& flags = GlFlags();
  for (size_t i = 0; i < names.size(); ++i) flags[i] = QueryGlExtension(names[i]) ? 1 : 0;
}

int InitWglExtensions() {
  failureFlag = 0;
  const char* extensions = GlExtensionLoader.windowSystemExtensions();
  haveWindowSystemExtensionString = extensions != nullptr;
  windowSystemExtensionString = extensions != nullptr ? extensions : "";
  if (extensions == nullptr) return 0;
  const Tables& t = GetTables();
  auto& flags = WindowSystemFlags();
  for (size_t i = 0; i < t.windowSystemFlagNames.size(); ++i) {
    flags[i] = QueryWglExtension(t.windowSystemFlagNames[i]) ? 1 : 0;
  }
  for (size_t i = 0; i < t.windowSystemGroups.size(); ++i) {
    if (flags[i] != 0) Fetch(t.windowSystemGroups[i]);
  }
  for (const char* name : kSwapControlExtensions) {
    if (QueryWglExtension(name)) {
      wglSwapIntervalEXT = &SwapIntervalThroughPlatform;
      wglGetSwapIntervalEXT = &SwapIntervalQueryThroughPlatform;
    }
  }
  return failureFlag;
}

int InitGlExtensions() {
  failureFlag = 0;
  DetectGlExtensions();
  const Tables& t = GetTables();
  const auto& flags = GlFlags();
  for (size_t i = 0; i < t.glGroups.size(); ++i) {
    if (flags[i] == 0) continue;
    Fetch(t.glGroups[i]);
    if (std::strcmp(kGlGroups[i].extension, "GL_NV_half_float") == 0) {
      for (size_t h = 0; h < t.halfFloatGroups.size(); ++h) {
        if (HalfFloatConditionHolds(kHalfFloatGroups[h].needs)) Fetch(t.halfFloatGroups[h]);
      }
    }
  }
  const bool versions[5] = {GlVersionFlags.v1_2, GlVersionFlags.v1_3, GlVersionFlags.v1_4,
                            GlVersionFlags.v1_5, GlVersionFlags.v2_0};
  for (int v = 0; v < 5; ++v) {
    if (versions[v]) Fetch(t.versionGroups[v]);
  }
  InitWglExtensions();
  return failureFlag;
}

void ResetGlExtensions() {
  for (auto& slot : GetTables().slots) slot.proc = nullptr;
  std::fill(GlFlags().begin(), GlFlags().end(), 0);
  std::fill(WindowSystemFlags().begin(), WindowSystemFlags().end(), 0);
  GlVersionFlags = GlVersionFlagSet{};
  glExtensionString.clear();
  haveGlExtensionString = false;
  windowSystemExtensionString.clear();
  haveWindowSystemExtensionString = false;
  failureFlag = 0;
  wglSwapIntervalEXT = nullptr;
  wglGetSwapIntervalEXT = nullptr;
}

GlProc GetGlEntryPoint(const char* name) {
  if (name == nullptr) return nullptr;
  const auto& slots = GetTables().slots;
  const int index = FindSlotIndex(slots, name);
  return index < 0 ? nullptr : slots[index].proc;
}

bool GlActiveTexture(GLenum unit) {
  static const SlotPair pair = PairOf("glActiveTextureARB", "glActiveTexture");
  auto fn = Resolve<PFNGLACTIVETEXTUREARBPROC>(pair);
  if (fn == nullptr) return false;
  fn(unit);
  return true;
}

bool GlClientActiveTexture(GLenum unit) {
  static const SlotPair pair = PairOf("glClientActiveTextureARB", "glClientActiveTexture");
  auto fn = Resolve<PFNGLCLIENTACTIVETEXTUREARBPROC>(pair);
  if (fn == nullptr) return false;
  fn(unit);
  return true;
}

bool GlCompressedTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLsizei width,
                            GLsizei height, GLint border, GLsizei imageSize, const void* data) {
  static const SlotPair pair = PairOf("glCompressedTexImage2DARB", "glCompressedTexImage2D");
  auto fn = Resolve<PFNGLCOMPRESSEDTEXIMAGE2DARBPROC>(pair);
  if (fn == nullptr) return false;
  fn(target, level, internalFormat, width, height, border, imageSize, data);
  return true;
}

bool GlCompressedTexImage3D(GLenum target, GLint level, GLenum internalFormat, GLsizei width,
                            GLsizei height, GLsizei depth, GLint border, GLsizei imageSize,
                            const void* data) {
  static const SlotPair pair = PairOf("glCompressedTexImage3DARB", "glCompressedTexImage3D");
  auto fn = Resolve<PFNGLCOMPRESSEDTEXIMAGE3DARBPROC>(pair);
  if (fn == nullptr) return false;
  fn(target, level, internalFormat, width, height, depth, border, imageSize, data);
  return true;
}

bool GlTexImage3D(GLenum target, GLint level, GLenum internalFormat, GLsizei width,
                  GLsizei height, GLsizei depth, GLint border, GLenum format, GLenum type,
                  const void* pixels) {
  // The two differ in the type of internalFormat, so each is called through its own type.
  static const SlotPair pair = PairOf("glTexImage3DEXT", "glTexImage3D");
  const auto& slots = GetTables().slots;
  if (GlProc p = pair.extension >= 0 ? slots[pair.extension].proc : nullptr) {
    reinterpret_cast<PFNGLTEXIMAGE3DEXTPROC>(p)(target, level, internalFormat, width, height,
                                                depth, border, format, type, pixels);
    return true;
  }
  if (GlProc p = pair.core >= 0 ? slots[pair.core].proc : nullptr) {
    reinterpret_cast<PFNGLTEXIMAGE3DPROC>(p)(target, level, static_cast<GLint>(internalFormat),
                                             width, height, depth, border, format, type, pixels);
    return true;
  }
  return false;
}

bool GlHasCompressedTexImage2D() {
  static const SlotPair pair = PairOf("glCompressedTexImage2DARB", "glCompressedTexImage2D");
  return Resolve<PFNGLCOMPRESSEDTEXIMAGE2DARBPROC>(pair) != nullptr;
}

bool GlHasCompressedTexImage3D() {
  static const SlotPair pair = PairOf("glCompressedTexImage3DARB", "glCompressedTexImage3D");
  return Resolve<PFNGLCOMPRESSEDTEXIMAGE3DARBPROC>(pair) != nullptr;
}

bool GlHasTexImage3D() {
  static const SlotPair pair = PairOf("glTexImage3DEXT", "glTexImage3D");
  return Resolve<PFNGLTEXIMAGE3DEXTPROC>(pair) != nullptr;
}
