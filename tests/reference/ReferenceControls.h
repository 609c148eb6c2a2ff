#pragma once

// The control values of one render as the host hands them to the tool: doubles, unconverted.
// Members are named after the controls' identifiers; defaults are the tool's own.
struct ReferenceControls {
    double UseNormals = 1.0;
    double UseSSAO = 0.0;
    double FilterMethod = 0.0;
    double Matrix = 5.0;
    double Amount = 0.025;
    double SmalDepth = 0.001;
    double DepthThreshold = 24.0;
    double NormalsAngleControll = 45.0;
    double NormalsZControll = 0.05;
    double CamFOV = 45.0;
};
