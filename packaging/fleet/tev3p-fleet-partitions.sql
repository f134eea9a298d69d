-- The fleet database's minutes, hours and days as tables partitioned by month of t (plain
-- PostgreSQL, no extension), for the database's administrator. Run it once the schema exists
-- (a recorder created it, or `tev3p fleet-schema | psql` did), as the tables' owner or a
-- superuser, while no recorder ships (each table is locked until the end):
--     psql -d fleet -v ON_ERROR_STOP=1 -f tev3p-fleet-partitions.sql
-- Every row stays; the tables keep their names, columns, primary key (site, meter, t), index
-- on t, owner and grants, so the recorders' upserts (ON CONFLICT (site, meter, t)) go on as
-- before: the primary key holds the partition key t, as PostgreSQL requires. Running it again
-- only adds the months to come. Months are UTC months. Then, monthly (cron or pg_cron):
--     SELECT tev3p_add_months(3);                                     -- the months ahead
--     SELECT tev3p_drop_months_before('minutes', now() - interval '90 days');  -- retention

-- Creates the month partitions of `tab` from the month of `first_t` through that of `last_t`
-- that are not there yet, moving into each the rows its default partition held for it;
-- returns how many it created.
CREATE OR REPLACE FUNCTION tev3p_month_partitions(tab text, first_t timestamptz,
                                                  last_t timestamptz)
RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
    m timestamp := date_trunc('month', first_t AT TIME ZONE 'UTC');
    tab_owner name := (SELECT tableowner FROM pg_tables WHERE tablename = tab
                   AND schemaname = current_schema());
    part text;
    lo timestamptz;
    hi timestamptz;
    made integer := 0;
BEGIN
    WHILE m <= last_t AT TIME ZONE 'UTC' LOOP
        part := tab || '_' || to_char(m, 'YYYY_MM');
        lo := m AT TIME ZONE 'UTC';
        hi := (m + interval '1 month') AT TIME ZONE 'UTC';
        IF to_regclass(part) IS NULL THEN
            EXECUTE format('CREATE TABLE %I (LIKE %I INCLUDING DEFAULTS INCLUDING CONSTRAINTS)',
                           part, tab);
            EXECUTE format('ALTER TABLE %I OWNER TO %I', part, tab_owner);
            IF to_regclass(tab || '_default') IS NOT NULL THEN
                EXECUTE format('WITH moved AS (DELETE FROM %I WHERE t >= %L AND t < %L '
                               'RETURNING *) INSERT INTO %I SELECT * FROM moved',
                               tab || '_default', lo, hi, part);
            END IF;
            EXECUTE format('ALTER TABLE %I ATTACH PARTITION %I FOR VALUES FROM (%L) TO (%L)',
                           tab, part, lo, hi);
            made := made + 1;
        END IF;
        m := m + interval '1 month';
    END LOOP;
    RETURN made;
END $$;

-- Replaces the plain table `tab` by one partitioned by month with the same rows, columns,
-- keys, owner and grants, and a default partition for rows of a month that has none (a
-- recorder whose clock was wrong, rows sent again after their month was dropped).
CREATE OR REPLACE FUNCTION tev3p_partition_by_month(tab text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    old text := tab || '_unpartitioned';
    tab_owner name;
    first_t timestamptz;
    last_t timestamptz;
    g record;
BEGIN
    IF (SELECT relkind FROM pg_class WHERE oid = to_regclass(tab)) = 'p' THEN
        RETURN;
    END IF;
    EXECUTE format('LOCK TABLE %I IN ACCESS EXCLUSIVE MODE', tab);
    tab_owner := (SELECT tableowner FROM pg_tables WHERE tablename = tab
              AND schemaname = current_schema());
    EXECUTE format('ALTER TABLE %I RENAME TO %I', tab, old);
    EXECUTE format('ALTER INDEX %I RENAME TO %I', tab || '_pkey', old || '_pkey');
    EXECUTE format('ALTER INDEX %I RENAME TO %I', tab || '_by_time', old || '_by_time');
    EXECUTE format('CREATE TABLE %I (LIKE %I INCLUDING DEFAULTS INCLUDING CONSTRAINTS) '
                   'PARTITION BY RANGE (t)', tab, old);
    EXECUTE format('ALTER TABLE %I ADD PRIMARY KEY (site, meter, t)', tab);
    EXECUTE format('CREATE INDEX %I ON %I (t)', tab || '_by_time', tab);
    EXECUTE format('ALTER TABLE %I OWNER TO %I', tab, tab_owner);
    FOR g IN SELECT a.privilege_type AS what,
                    CASE WHEN a.grantee = 0 THEN 'PUBLIC' ELSE quote_ident(r.rolname) END AS who
             FROM pg_class c CROSS JOIN LATERAL aclexplode(c.relacl) a
             LEFT JOIN pg_roles r ON r.oid = a.grantee
             WHERE c.oid = to_regclass(old) LOOP
        EXECUTE format('GRANT %s ON %I TO %s', g.what, tab, g.who);
    END LOOP;
    EXECUTE format('CREATE TABLE %I PARTITION OF %I DEFAULT', tab || '_default', tab);
    EXECUTE format('ALTER TABLE %I OWNER TO %I', tab || '_default', tab_owner);
    EXECUTE format('SELECT min(t), max(t) FROM %I', old) INTO first_t, last_t;
    PERFORM tev3p_month_partitions(tab, coalesce(first_t, now()),
                                   greatest(last_t, now()) + interval '3 months');
    EXECUTE format('INSERT INTO %I SELECT * FROM %I', tab, old);
    EXECUTE format('DROP TABLE %I', old);
END $$;

-- The next `ahead` months of minutes, hours and days; returns how many partitions it created.
CREATE OR REPLACE FUNCTION tev3p_add_months(ahead integer DEFAULT 3)
RETURNS integer LANGUAGE sql AS $$
    SELECT tev3p_month_partitions('minutes', now(), now() + make_interval(months => ahead))
         + tev3p_month_partitions('hours', now(), now() + make_interval(months => ahead))
         + tev3p_month_partitions('days', now(), now() + make_interval(months => ahead));
$$;

-- Drops the month partitions of `tab` that end on or before `before`: retention without a
-- DELETE. Returns how many it dropped.
CREATE OR REPLACE FUNCTION tev3p_drop_months_before(tab text, before timestamptz)
RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
    part text;
    dropped integer := 0;
BEGIN
    FOR part IN SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid
                WHERE i.inhparent = to_regclass(tab)
                  AND c.relname ~ ('^' || tab || '_[0-9]{4}_[0-9]{2}$') ORDER BY 1 LOOP
        IF (to_date(right(part, 7), 'YYYY_MM') + interval '1 month') AT TIME ZONE 'UTC'
           <= before THEN
            EXECUTE format('DROP TABLE %I', part);
            dropped := dropped + 1;
        END IF;
    END LOOP;
    RETURN dropped;
END $$;

BEGIN;
SELECT tev3p_partition_by_month('minutes');
SELECT tev3p_partition_by_month('hours');
SELECT tev3p_partition_by_month('days');
COMMIT;
