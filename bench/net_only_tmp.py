import os, sys
sys.path.insert(0, os.path.dirname(__file__))
import bench
listener = bench.Listener()
cups = bench.Cups().start()
try:
    cups.set_queues({bench.QUEUE: 9100})
    print(f"median of {bench.SHORT_RUNS} runs, {bench.how_32bit_code_runs()}")
    for label, path in (("network, default payload", bench.PAYLOAD), ("network, 256 MB file", bench.BIG)):
        ours, floor, ref, _ = bench.delivery(listener, path, False)
        bench.row(label, ours, floor, ref, 1.05)
finally:
    for d in bench._SHARED_DRIVER:
        d.close()
    cups.stop()
