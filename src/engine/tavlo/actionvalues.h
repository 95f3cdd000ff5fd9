#pragma once

class TMeasurementNode;

// The values an AU node sends, computed in the main thread before the node is copied for a
// run: furnace setpoint and ramp rate, GPIB action values and command text, flow setpoint,
// broadcast value; and whether they must be sent.
void UtilityEvaluate(TMeasurementNode& node);

// The node's $GPIB1 value, tied to its bound, and its text.
void GPIBExpressionEvaluate(TMeasurementNode& node);
