#pragma once
// Values of the chart's enumerated properties (type names in the plural,
// so that the properties themselves can carry the singular names).  They are stored as plain
// integers in the state block, so existing values never change.

namespace kv {

enum ManualScaleControls { sgNoManualScale = 0, sgManualMin = 1, sgManualMax = 2, sgManualMinAndMax = 3 };

// sgVBDateTime: X values are date-times (days since 30 December 1899) and the
// X axis is labelled with dates and times.
enum DateTimeModes { sgNoDateTime = 0, sgVBDateTime = 1 };

enum GridLineControls { sgYPlusXAxis = 0, sgYAxis = 1, sgXAxis = 2, sgNoGrid = 3 };

enum GridStyles { sgThin = 0, sgThick = 1, sgDot = 2, sgDash = 3 };

enum ZoomStyles { sgNoZooming = 0, sgHorzZooming = 1, sgVertZooming = 2, sgHorzPlusVertZooming = 3 };

// sgBar draws every point as a vertical line from zero (offered by the
// customisation dialog only while AllowBar is on).
enum PlottingMethods { sgLine = 0, sgPoint = 1, sgPointsPlusLine = 2, sgBar = 3 };

enum LegendLocations { sgLegendTop = 0, sgLegendBottom = 1 };

enum DataPrecisions { sgNoDecimals = 0, sgOneDecimal = 1, sgTwoDecimals = 2, sgThreeDecimals = 3 };

// sgDataValues writes each point's value beside it while few enough points are
// visible (see Chart::setAllowDataLabels).
enum DataLabels { sgNoDataLabels = 0, sgDataValues = 1 };

// Pen of a subset line or a vertical-line annotation.  Wider pens cost much
// more drawing time on large data sets.
enum LineTypes { sgThinSolid = 0, sgDashLine = 1, sgDotLine = 2, sgDashDotLine = 3, sgMediumSolid = 4, sgThickSolid = 5 };

enum Orientations { sgPortrait = 0, sgLandscape = 1 };

// Graph annotation symbols; text is drawn beside the symbol (type 0: text
// alone, and a type 0 annotation without text is not drawn at all).
enum GraphAnnotationTypes {
    sgAnnotNoSymbol = 0,
    sgAnnotPlus = 1,
    sgAnnotCross = 2,
    sgAnnotDot = 3,
    sgAnnotDotSolid = 4,
    sgAnnotSquare = 5,
    sgAnnotSquareSolid = 6,
    sgAnnotDiamond = 7,
    sgAnnotDiamondSolid = 8,
    sgAnnotUpTriangle = 9,
    sgAnnotUpTriangleSolid = 10,
};
constexpr int GraphAnnotationTypeCount = 11;

// Where the table annotation sits; sgTAExplicit uses TAX / TAY (pixels from
// the chart's top-left corner).
enum TALocations {
    sgTAInsideTopLeft = 0,
    sgTAInsideTopRight = 1,
    sgTAInsideBottomLeft = 2,
    sgTAInsideBottomRight = 3,
    sgTAExplicit = 16,
};

// sgTANotMoveable and sgTAMoveable report clicks on cells
// (tableAnnotationHotSpot); the user drags a moveable table with the mouse.
enum TAMoveables { sgTANotMoveable = 0, sgTAMoveable = 1, sgTAMoveableNoHotSpots = 2 };

enum TABorders { sgNoBorder = 0, sgSingleLine = 1, sgDropShadow = 2, sgInset = 3 };

enum ChartActions {
    sgResetImage = 0,
    sgInvalidateImage = 1,
    sgReinitAndReset = 2,
    sgUndoZoom = 3,
    sgCustomize = 4,
    sgPrintDialog = 5,
    sgExportDialog = 6,
};

// ArrowCursor codes; any other cursor is a picture given with setArrowCursor(QCursor).
constexpr int ArrowCursorNormal = 1;
constexpr int ArrowCursorText = 2;
constexpr int ArrowCursorPicture = 0;

} // namespace kv
