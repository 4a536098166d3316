import numpy as np, qiro                    # qiro: PYTHONPATH=build/python (or make install)
result = qiro.discover("examples/nrsf150.fa.gz", widths=(8, 15), seed=1)   # -mask T -dust 20 -evalue 0.05
for m in result.motifs:
    print(m.consensus, "width", m.width, "E-value %.3g" % m.evalue, len(m.sites), "sites")
print(result.sites_frame().head())          # the sites as a pandas frame (0-based start, end excluded)
try:                                        # a logo of the first motif: letter heights in bits, A C G T stacked
    import matplotlib; matplotlib.use("Agg"); import matplotlib.pyplot as plt
    p = result.motifs[0].probabilities; h = p * (2 + (p * np.log2(np.where(p > 0, p, 1))).sum(1, keepdims=True))
    for b, c in enumerate("green blue orange red".split()): plt.bar(range(len(p)), h[:, b], bottom=h[:, :b].sum(1), color=c, label="ACGT"[b])
    plt.legend(); plt.ylabel("bits"); plt.savefig("nrsf_logo.png"); print("logo in nrsf_logo.png")
except ImportError: print("(matplotlib not installed: no logo)")
