"""Reading the timing trace of a -DK58_TRACE_TIMING=ON build: the spans in
which a gear change held the loop."""


def gear_change_spans(pumps):
    """A gear change pumps messages in bursts (its beats and the shake): the
    pump moments (ns) less than 100 ms apart form one burst, and a burst with
    50 ms either side is a span in which the loop is held. Returns the spans
    as (from, to) in ns."""
    spans = []
    for t in pumps:
        if spans and t - spans[-1][1] < 100_000_000:
            spans[-1][1] = t
        else:
            spans.append([t, t])
    return [(a - 50_000_000, b + 50_000_000) for a, b in spans]
