// placeholder until the kernels land
