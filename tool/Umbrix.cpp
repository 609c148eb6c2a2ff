#include "tool/Umbrix.h"

#include "host/Operator.h"
#include "tool/Identifiers.h"

Umbrix::Umbrix(const Registry* reg, const ScriptVal& value, const TagList& tags)
    : ThreadedOperator(reg, value, tags) {
    // clang-format off
    AddControlPage("Settings", TAG_DONE);

    InUseNormals = AddInput(FuID("Calculate normals", true), FuID("UseNormals", true),
                            TAG_DataType, ID_Number,
                            TAG_ControlKind, ID_CheckboxControl,
                            TAG_Notify, 1,
                            TAG_Default, 1.0,
                            TAG_ControlLayout, 0.5,
                            TAG_DONE);
    InUseSSAO = AddInput(FuID("Calculate SSAO", true), FuID("UseSSAO", true),
                         TAG_DataType, ID_Number,
                         TAG_ControlKind, ID_CheckboxControl,
                         TAG_Notify, 1,
                         TAG_Default, 0.0,
                         TAG_ControlLayout, 0.5,
                         TAG_DONE);
    InFilterMethod = AddInput(FuID("Improve SSAO with normals", true), FuID("FilterMethod", true),
                              TAG_DataType, ID_Number,
                              TAG_ControlKind, ID_ComboControl,
                              TAG_ComboEntry, "Rendered Normals",
                              TAG_ComboEntry, "Calculated Normals",
                              TAG_ComboEntry, "disabled",
                              TAG_ComboStyle, 1,
                              TAG_RangeHigh, 2.0,
                              TAG_RangeLow, 0.0,
                              TAG_Default, 0.0,
                              TAG_Notify, 1,
                              TAG_ControlLayout, 1.0,
                              TAG_DONE);
    InMatrix = AddInput(FuID("Matrix", true), FuID("Matrix", true),
                        TAG_DataType, ID_Number,
                        TAG_ControlKind, ID_SliderControl,
                        TAG_RangeLow, 0.0,
                        TAG_RangeHigh, 200.0,
                        TAG_Default, 5.0,
                        TAG_WholeNumber, 1,
                        TAG_DONE);
    InAmount = AddInput(FuID("Amount", true), FuID("Amount", true),
                        TAG_DataType, ID_Number,
                        TAG_ControlKind, ID_SliderControl,
                        TAG_RangeLow, 0.0,
                        TAG_RangeHigh, 1.0,
                        TAG_Default, 0.025,
                        TAG_DONE);
    InSmallDepth = AddInput(FuID("Small depth", true), FuID("SmalDepth", true),
                            TAG_DataType, ID_Number,
                            TAG_ControlKind, ID_SliderControl,
                            TAG_RangeLow, 0.0,
                            TAG_RangeHigh, 10.0,
                            TAG_Default, 0.001,
                            TAG_DONE);
    InDepthThreshold = AddInput(FuID("Depth threshold", true), FuID("DepthThreshold", true),
                                TAG_DataType, ID_Number,
                                TAG_ControlKind, ID_SliderControl,
                                TAG_RangeLow, 1.0,
                                TAG_RangeHigh, 100.0,
                                TAG_Default, 24.0,
                                TAG_DONE);
    InNormalsAngle = AddInput(FuID("Normals angle control", true),
                              FuID("NormalsAngleControll", true),
                              TAG_DataType, ID_Number,
                              TAG_ControlKind, ID_SliderControl,
                              TAG_RangeLow, 0.0,
                              TAG_RangeHigh, 100.0,
                              TAG_Default, 45.0,
                              TAG_DONE);
    InNormalsZ = AddInput(FuID("Normals Z control (Normals)", true),
                          FuID("NormalsZControll", true),
                          TAG_DataType, ID_Number,
                          TAG_ControlKind, ID_SliderControl,
                          TAG_RangeLow, 0.0,
                          TAG_RangeHigh, 1.0,
                          TAG_Default, 0.05,
                          TAG_DONE);
    InCamFOV = AddInput(FuID("Camera FOV (Normals)", true), FuID("CamFOV", true),
                        TAG_DataType, ID_Number,
                        TAG_ControlKind, ID_SliderControl,
                        TAG_RangeLow, 0.0,
                        TAG_RangeHigh, 100.0,
                        TAG_Default, 45.0,
                        TAG_DONE);
    InImage = AddInput(FuID("Input", true), FuID("Input", true),
                       TAG_DataType, ID_Image,
                       TAG_MainLink, 1,
                       TAG_DONE);
    OutImage = AddOutput(FuID("Output", true), FuID("Output", true),
                         TAG_DataType, ID_Image,
                         TAG_MainLink, 1,
                         TAG_DONE);
    InAbout = AddInput(FuID("About", true), FuID("About", true),
                       TAG_ControlKind, ID_ButtonControl,
                       TAG_Notify, 1,
                       TAG_DONE);
    // clang-format on
}

Umbrix::~Umbrix() = default;
