#pragma once

// One data point of a node.
struct TMeasurementResult {
    double Time = 0;
    double Value1 = 0;
    double Value2 = 0;
    double Value3 = 0;
};

// Impedance values derived from one IC or IS point.
struct TMeasurementImpResult {
    double P = 0;   // phase, degrees, from arctan
    double PA2 = 0; // phase, degrees, four-quadrant
    double Z = 0;
    double Y = 0;
    double G = 0;
    double B = 0;
    double RP = 0;
    double LS = 0;
    double LP = 0;
    double CS = 0;
    double CP = 0;
};
