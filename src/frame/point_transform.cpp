// Built with the project's ordinary optimisation: as one straight pass of
// scalar arithmetic per point this is faster than the vector code -O3 makes
// of it, which spends its time shuffling the wide point records apart.

#include "frame/point_lighting.h"

namespace zor {

// One pass over the points: each record is read once and its camera-space
// fields written, and the block receives the same values for lighting.
ZOR_POINT_LOOP void transformBlock(PointBlock& b, MeshPoint* points, std::size_t count,
                                   const BlockTransform& where, double initialSum) {
    b.count = count < PointBlock::kCapacity ? count : PointBlock::kCapacity;
    for (std::size_t i = 0; i < b.count; ++i) b.red[i] = b.green[i] = b.blue[i] = initialSum;
    const float m0 = where.m[0], m1 = where.m[1], m2 = where.m[2], m3 = where.m[3], m4 = where.m[4],
                m5 = where.m[5], m6 = where.m[6], m7 = where.m[7], m8 = where.m[8];
    const float px = where.pivot[0], py = where.pivot[1], pz = where.pivot[2];
    const float sx = where.scale[0], sy = where.scale[1], sz = where.scale[2];
    const float tx = where.offset[0], ty = where.offset[1], tz = where.offset[2];
    for (std::size_t i = 0; i < b.count; ++i) {
        MeshPoint& p = points[i];
        const float lx = (p.position[0] - px) * sx, ly = (p.position[1] - py) * sy, lz = (p.position[2] - pz) * sz;
        const float nx = p.normal[0], ny = p.normal[1], nz = p.normal[2];
        const float x = (m0 * lx + m1 * ly + m2 * lz) + tx;
        const float y = (m3 * lx + m4 * ly + m5 * lz) + ty;
        const float z = (m6 * lx + m7 * ly + m8 * lz) + tz;
        const float cx = m0 * nx + m1 * ny + m2 * nz;
        const float cy = m3 * nx + m4 * ny + m5 * nz;
        const float cz = m6 * nx + m7 * ny + m8 * nz;
        p.cameraSpacePosition[0] = b.x[i] = x;
        p.cameraSpacePosition[1] = b.y[i] = y;
        p.cameraSpacePosition[2] = b.z[i] = z;
        p.cameraSpaceNormal[0] = b.nx[i] = cx;
        p.cameraSpaceNormal[1] = b.ny[i] = cy;
        p.cameraSpaceNormal[2] = b.nz[i] = cz;
    }
}

}  // namespace zor
