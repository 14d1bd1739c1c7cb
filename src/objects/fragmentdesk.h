#ifndef FX_OBJECTS_FRAGMENTDESK_H
#define FX_OBJECTS_FRAGMENTDESK_H

#include "base/arrays.h"
#include "objects/desk.h"

// Fewest spokes a fragmenting desk accepts: the narrowest speed hump (5 % of the spokes) must
// span at least two of them, or its triangle would divide by a zero half-width.
#define FX_FRAGMENT_MIN_SPOKES 40

// What the tech and the fire desk share: a fan of spokes from the centre of the screen, several
// rings per spoke, each ring of each spoke moving outwards at its own random speed, and the mesh
// of the picture laid over them so that every vertex samples the picture at its own screen
// position. The derived desks decide how the rings move and how the mesh follows them.
class FXFragmentDesk {
public:
    bool finished; // every tested ring vertex lies outside the screen square
    int spokes;    // 0 after a refused Create
    float scale;   // multiplies the outward step
    float gap;     // unit of ring spacing
    float baseSpeed;
    double timeUnit; // seconds; divides the frame time in the step
    double lastTime;
    double lastSpeedTime;
    double beginTime;
    bool firstFrame;     // the next frame only records the times
    bool speedsDue;      // the next frame makes new speeds whatever the interval
    FXFloatArray dirs;   // per spoke sin a, cos a of its angle a from straight up, clockwise
    FXFloatArray speeds; // ring-major: ring j of spoke i at j * spokes + i
    FXFloatArray radii;  // ring-major like speeds
    FXDesk desk;         // spokes columns, one vertex row per ring level; column `spokes` repeats column 0

    const int rings;
    const double speedInterval; // seconds between two runs of the speed generator

    ~FXFragmentDesk();
    FXFragmentDesk(const FXFragmentDesk&) = delete;
    FXFragmentDesk& operator=(const FXFragmentDesk&) = delete;

    void Destroy();
    // Every speed := baseSpeed plus one broad hump per ring.
    void UpdateSpeeds1();
    // Three passes of one medium hump per ring, added.
    void UpdateSpeeds2();
    // Ten passes of one narrow hump per ring, added.
    void UpdateSpeeds3();
    // A triangular rise of the speeds of `ring` over a random run of spokes that wraps past the
    // last spoke to spoke 0: it starts at a random spoke, spans between lo and 2 lo of the spokes
    // and peaks at about 2 h. Adds to the speeds, or with replace stores baseSpeed plus the rise.
    void AddHump(int ring, float lo, float h, bool replace);

    // Whether Create built the arrays and meshes that the frames work on.
    bool IsBuilt() const;
    float Radius(int ring, int spoke) const { return radii.elements[ring * spokes + spoke]; }
    float Speed(int ring, int spoke) const { return speeds.elements[ring * spokes + spoke]; }

protected:
    FXFragmentDesk(int rings, double speedInterval);

    // The steps both Create operations share: checks the count, sizes the arrays, builds the
    // picture mesh with per-vertex colour and lays out the directions. False, with an error
    // trace and nothing built, for a count the geometry cannot take.
    bool CreateBase(const char* who, int n, int deskRows);
    // The flags a new showing starts from, and all speeds 1.
    void ResetRun();
    // Half the picture's extent in texture coordinates, so that (cu (x + 1), cv (1 - y)) samples
    // the picture at screen position (x, y).
    void TexHalfExtents(float* cu, float* cv) const;
    // The first frame after (re)creation records the times and answers false; later frames answer
    // true with e, the seconds since that first frame, and k, this frame's outward step.
    bool AdvanceClock(double time, float factor, float* e, float* k);
    // Runs the speed generator when speedsDue is set or the interval has passed.
    void UpdateSpeedsWhenDue(double time);
    // Places a vertex of `mesh` at distance r along the direction dir (sin, cos), sampling the
    // picture where it lies; answers whether it lies on the screen square.
    static bool PlaceVertex(FXDesk* mesh, int row, int column, const float* dir, float r, float cu, float cv);
    static void PlaceVertexAt(FXDesk* mesh, int row, int column, float x, float y, float cu, float cv);
    // Column `spokes` repeats column 0 (position and texture coordinate) in rows first ... last.
    static void CopySeam(FXDesk* mesh, int first, int last);
    static void SetRowColour(FXDesk* mesh, int row, const float* rgba);
    // Row r of the picture mesh takes rowColours[r], for the rings + 1 rows.
    void SetRowColours(const float rowColours[][4]);
    static tagFXVertex* Vertex(FXDesk* mesh, int row, int column) {
        return &mesh->mesh.vertices[row * (mesh->cols + 1) + column];
    }
    float& RadiusRef(int ring, int spoke) { return radii.elements[ring * spokes + spoke]; }
    float& SpeedRef(int ring, int spoke) { return speeds.elements[ring * spokes + spoke]; }
};

#endif
