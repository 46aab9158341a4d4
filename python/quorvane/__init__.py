"""pc_error's point cloud metrics (D1, D2, colour, Hausdorff) and Bjøntegaard deltas, exactly as
quorvane-metrics and quorvane-bd give them, on numpy arrays or PLY and PCD files.

    import numpy as np, quorvane
    a = quorvane.read_cloud("original.ply")
    b = quorvane.Cloud(np.asarray(decoded_points, dtype=np.float32))
    print(quorvane.metrics(a, b, resolution="vox10")["d1_psnr"])
"""
from ._quorvane import Cloud, bd_psnr, bd_rate, metrics, read_cloud

__all__ = ["Cloud", "read_cloud", "metrics", "bd_rate", "bd_psnr"]
